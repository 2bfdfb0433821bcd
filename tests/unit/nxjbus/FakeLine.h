// A scripted serial line for the JBUS master: records each request and plays the unit's answer to it,
// byte arrival times included, on a virtual clock (no test waits in real time). It also measures the
// silence the master kept before each request it sent.
#pragma once

#include "nxjbus/JbusMaster.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace nxjbus::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    std::string byte;
    while (in >> byte)
        out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    return out;
}

struct Chunk {
    uint32_t afterMs; // counted from the end of the request's write
    Bytes bytes;
    uint64_t offsetUs = 0; // added to afterMs, for pacing finer than a millisecond
};
using Answer = std::vector<Chunk>; // empty: the unit stays silent

class FakeLine : public Backend {
public:
    std::deque<Answer> answers;                    // one per request, in order
    std::function<Answer(const Bytes&)> responder; // used when no scripted answer is left
    std::vector<Bytes> requests;
    std::vector<Bytes> delivered;          // per request: the bytes the master read after sending it
    std::vector<uint64_t> silenceBeforeUs; // per request after the first: quiet time on the line before it
    bool failWrite = false;
    bool failRead = false;
    uint64_t nowUs = 1000000;
    uint32_t charUs; // one character on the wire, for the end of each request

    explicit FakeLine(uint32_t baud = 19200) : charUs(TimingForBaud(baud).charUs) {}

    bool Write(const uint8_t* data, size_t size) override {
        if (!requests.empty())
            silenceBeforeUs.push_back(nowUs > m_lastOnWireUs ? nowUs - m_lastOnWireUs : 0);
        requests.emplace_back(data, data + size);
        delivered.emplace_back();
        m_lastOnWireUs = std::max(m_lastOnWireUs, nowUs + size * uint64_t{charUs});
        if (failWrite)
            return false;
        Answer answer;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        } else if (responder) {
            answer = responder(requests.back());
        }
        for (const Chunk& chunk : answer)
            for (uint8_t b : chunk.bytes)
                m_pending.push_back({nowUs + chunk.afterMs * 1000ull + chunk.offsetUs, b});
        // Bytes may be scripted out of order; the line delivers them by arrival time.
        std::stable_sort(m_pending.begin(), m_pending.end(),
                         [](const Arrival& a, const Arrival& b) { return a.atUs < b.atUs; });
        return true;
    }
    int Read(uint8_t* data, size_t size, uint32_t timeoutMs) override {
        if (failRead)
            return -1;
        uint64_t deadline = nowUs + timeoutMs * 1000ull;
        size_t got = 0;
        uint64_t last = nowUs;
        while (got < size && !m_pending.empty() && m_pending.front().atUs <= deadline) {
            last = std::max(last, m_pending.front().atUs);
            data[got++] = m_pending.front().byte;
            if (!delivered.empty())
                delivered.back().push_back(m_pending.front().byte);
            m_pending.pop_front();
        }
        if (got > 0)
            m_lastOnWireUs = std::max(m_lastOnWireUs, last);
        nowUs = got == size ? last : deadline;
        return static_cast<int>(got);
    }
    void Flush() override {
        while (!m_pending.empty() && m_pending.front().atUs <= nowUs)
            m_pending.pop_front();
    }
    void SleepUs(uint32_t us) override { nowUs += us; }
    uint64_t NowUs() override { return nowUs; }

private:
    struct Arrival {
        uint64_t atUs;
        uint8_t byte;
    };
    std::deque<Arrival> m_pending;
    uint64_t m_lastOnWireUs = 0; // end of our last request or arrival of the last byte read
};

} // namespace nxjbus::test
