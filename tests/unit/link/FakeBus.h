// A recording stand-in for the bus library: a register space the tests fill, every call recorded,
// failures injected by word address, and an in-memory re-entrant lock.
#pragma once

#include "link/BusApi.h"
#include "support/Lockable.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace linktest {

struct BusCall {
    enum Kind { Open, Close, Read, WriteOne, WriteSeveral };
    BusCall(Kind k, int h = 0, unsigned s = 0, uint16_t a = 0, uint16_t n = 0, std::vector<uint16_t> w = {})
        : kind(k), handle(h), slave(s), address(a), count(n), words(std::move(w)) {}

    Kind kind;
    int handle = 0;
    unsigned slave = 0;
    uint16_t address = 0;
    uint16_t count = 0;
    std::vector<uint16_t> words; // written words
    std::string port, baud;      // Open only

    bool operator==(const BusCall& o) const {
        return kind == o.kind && address == o.address && count == o.count;
    }
};

class FakeBus {
public:
    FakeBus() { s_current = this; }
    ~FakeBus() { s_current = nullptr; }

    unitlink::BusApi Api() const {
        unitlink::BusApi api;
        api.open = &OpenThunk;
        api.close = &CloseThunk;
        api.readSeveralWords = &ReadThunk;
        api.writeOneWord = &WriteOneThunk;
        api.writeSeveralWords = &WriteSeveralThunk;
        return api;
    }

    // Register space by word address.
    std::map<uint16_t, uint16_t> registers;
    // Result of any request touching this word address (first word of the request).
    std::map<uint16_t, int> failAt;
    // Result of every request (failAll) or every write (failWrites), when not 0.
    int failAll = 0;
    int failWrites = 0;
    int openHandle = 7;
    std::vector<BusCall> calls;

    void SetBytes(uint16_t wordAddress, const std::string& bytes) {
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            const uint8_t lo = static_cast<uint8_t>(bytes[i]);
            const uint8_t hi = i + 1 < bytes.size() ? static_cast<uint8_t>(bytes[i + 1]) : 0;
            registers[static_cast<uint16_t>(wordAddress + i / 2)] = static_cast<uint16_t>(hi << 8 | lo);
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
    int ResultFor(uint16_t address) const {
        if (failAll)
            return failAll;
        auto it = failAt.find(address);
        return it == failAt.end() ? 0 : it->second;
    }

    static int OpenThunk(const char* port, const char* baud) {
        BusCall c{BusCall::Open};
        c.port = port;
        c.baud = baud;
        s_current->calls.push_back(c);
        return s_current->openHandle;
    }
    static void CloseThunk(int* handle) {
        s_current->calls.push_back(BusCall{BusCall::Close, *handle});
        *handle = -1;
    }
    static int ReadThunk(int handle, unsigned char slave, unsigned short address, unsigned short count,
                         unsigned short* buffer) {
        s_current->calls.push_back(BusCall{BusCall::Read, handle, slave, address, count});
        const int result = s_current->ResultFor(address);
        for (unsigned i = 0; i < count; ++i) {
            // On failure, scribble: the link must not pass this on to its caller.
            buffer[i] = result ? 0xDEAD : s_current->registers[static_cast<uint16_t>(address + i)];
        }
        return result;
    }
    static int WriteOneThunk(int handle, unsigned char slave, unsigned short address, unsigned short value) {
        s_current->calls.push_back(BusCall{BusCall::WriteOne, handle, slave, address, 1, {value}});
        const int result = s_current->failWrites ? s_current->failWrites : s_current->ResultFor(address);
        if (!result)
            s_current->registers[address] = value;
        return result;
    }
    static int WriteSeveralThunk(int handle, unsigned char slave, unsigned short address, unsigned short count,
                                 const unsigned short* buffer) {
        BusCall c{BusCall::WriteSeveral, handle, slave, address, count, {buffer, buffer + count}};
        s_current->calls.push_back(c);
        const int result = s_current->failWrites ? s_current->failWrites : s_current->ResultFor(address);
        if (!result)
            for (unsigned i = 0; i < count; ++i)
                s_current->registers[static_cast<uint16_t>(address + i)] = buffer[i];
        return result;
    }

    static inline FakeBus* s_current = nullptr;
};

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

} // namespace unitlinktest
