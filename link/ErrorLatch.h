// The module's first-error latch: the first failure after a clear stays until the unit error
// processing has handled it. Bus results arrive as result + 100, so success (100) and 0 never latch.
#pragma once

#include <atomic>
#include <cstdint>

namespace unitlink {

class ErrorLatch {
public:
    // Stores value only while the latch is empty and value is neither 0 nor 100.
    void RecordError(int32_t value) noexcept {
        if (value == 0 || value == 100)
            return;
        int32_t expected = 0;
        m_value.compare_exchange_strong(expected, value);
    }
    int32_t GetLatchedError() const noexcept { return m_value.load(); }
    void Clear() noexcept { m_value.store(0); }

private:
    // Written by the host thread and the GUI thread without the link lock; only "first stays" matters.
    std::atomic<int32_t> m_value{0};
};

} // namespace unitlink

// The namespace cannot be called "link": POSIX declares a global function of that name, which the
// native tree's standard headers bring in. Windows has no such function, so code written against the
// first name keeps compiling there.
#if defined(_WIN32)
namespace link = unitlink;
#endif
