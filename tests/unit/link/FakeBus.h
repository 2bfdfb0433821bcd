// A recording stand-in for the bus library: a register space the tests fill, every call recorded,
// failures injected by word address, and an in-memory re-entrant lock.
#pragma once

#include "link/BusApi.h"
#include "support/Lockable.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace linktest {

// Word address of the register at this byte offset from the unit's register base.
constexpr uint16_t Reg(uint16_t byteOffset) {
    return static_cast<uint16_t>(0x7000 + byteOffset / 2);
}

struct BusCall {
    enum Kind { Open, Close, Read, WriteOne, WriteSeveral };
    Kind kind;
    int handle = 0;
    unsigned slave = 0;
    uint16_t address = 0, count = 0;
    std::vector<uint16_t> words{}; // written words
    std::string port{}, baud{};    // Open only
    bool operator==(const BusCall& o) const { return kind == o.kind && address == o.address && count == o.count; }
};

class FakeBus {
public:
    FakeBus() { s_current = this; }
    ~FakeBus() { s_current = nullptr; }

    unitlink::BusApi Api() const {
        unitlink::BusApi api;
        api.open = [](const char* port, const char* baud) {
            s_current->calls.push_back({BusCall::Open, 0, 0, 0, 0, {}, port, baud});
            return s_current->openHandle;
        };
        api.close = [](int* handle) {
            s_current->calls.push_back({BusCall::Close, *handle});
            *handle = -1;
        };
        api.readSeveralWords = [](int handle, unsigned char slave, unsigned short address, unsigned short count,
                                  unsigned short* buffer) {
            s_current->calls.push_back({BusCall::Read, handle, slave, address, count});
            const int result = s_current->ResultFor(address, false);
            // On failure, scribble: the link must not pass this on to its caller.
            for (unsigned i = 0; i < count; ++i)
                buffer[i] = result ? 0xDEAD : s_current->registers[static_cast<uint16_t>(address + i)];
            return result;
        };
        api.writeOneWord = [](int handle, unsigned char slave, unsigned short address, unsigned short value) {
            return s_current->Write(BusCall::WriteOne, handle, slave, address, 1, &value);
        };
        api.writeSeveralWords = [](int handle, unsigned char slave, unsigned short address, unsigned short count,
                                   const unsigned short* buffer) {
            return s_current->Write(BusCall::WriteSeveral, handle, slave, address, count, buffer);
        };
        return api;
    }

    std::map<uint16_t, uint16_t> registers; // by word address
    std::map<uint16_t, int> failAt;         // result of a request starting at this word address
    int failAll = 0;                        // result of every request, when not 0
    int failWrites = 0;                     // result of every write, when not 0
    uint32_t failSchedule = 0;              // bit n: the n-th request since calls were cleared fails (12)
    int openHandle = 7;
    std::vector<BusCall> calls;

    void SetBytes(uint16_t wordAddress, const std::string& bytes) {
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            const uint8_t hi = i + 1 < bytes.size() ? static_cast<uint8_t>(bytes[i + 1]) : 0;
            registers[static_cast<uint16_t>(wordAddress + i / 2)] =
                static_cast<uint16_t>(hi << 8 | static_cast<uint8_t>(bytes[i]));
        }
    }
    std::vector<BusCall> Transfers() const {
        std::vector<BusCall> out;
        for (const auto& c : calls)
            if (c.kind != BusCall::Open && c.kind != BusCall::Close)
                out.push_back(c);
        return out;
    }
    int CountOf(BusCall::Kind kind) const {
        int n = 0;
        for (const auto& c : calls)
            n += c.kind == kind;
        return n;
    }

private:
    int ResultFor(uint16_t address, bool write) const {
        const std::size_t n = Transfers().size() - 1; // this request is already recorded
        if (n < 32 && (failSchedule >> n & 1u))
            return 12;
        if (failAll || (write && failWrites))
            return failAll ? failAll : failWrites;
        auto it = failAt.find(address);
        return it == failAt.end() ? 0 : it->second;
    }
    int Write(BusCall::Kind kind, int handle, unsigned slave, uint16_t address, uint16_t count,
              const unsigned short* words) {
        calls.push_back({kind, handle, slave, address, count, {words, words + count}});
        const int result = ResultFor(address, true);
        for (unsigned i = 0; i < count && !result; ++i)
            registers[static_cast<uint16_t>(address + i)] = words[i];
        return result;
    }

    static inline FakeBus* s_current = nullptr;
};

inline void PrintTo(const BusCall& c, std::ostream* os) {
    *os << "[kind " << c.kind << " at " << std::hex << c.address << std::dec << " x" << c.count << "]";
}

// Re-entrant per thread, exclusive between threads; counts how deep it is held.
class MemoryLock : public support::Lockable {
public:
    bool Lock(unsigned = 1) override {
        m_mutex.lock();
        ++m_depth;
        ++m_acquisitions;
        return true;
    }
    bool Unlock() override {
        if (m_depth == 0)
            return false;
        --m_depth;
        m_mutex.unlock();
        return m_depth == 0;
    }
    int depth() const { return m_depth; }
    int acquisitions() const { return m_acquisitions; }

private:
    std::recursive_mutex m_mutex;
    int m_depth = 0;
    int m_acquisitions = 0;
};

} // namespace linktest
