// What the system reports about the processor the module runs on.
#pragma once

#include <cstdint>

namespace platform {

// The largest processor cache the system reports, in bytes; 0 when it reports none.
std::uint64_t LastLevelCacheBytes() noexcept;

} // namespace platform
