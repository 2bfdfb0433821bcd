// Replay of a recorded link session.
#include "emulator/LinkReplay.h"

#include <algorithm>
#include <cstdio>

namespace emu {

namespace {

// How far ahead a request is looked for: a poll or two the module did not repeat, not a whole session.
constexpr size_t kLookAhead = 16;

} // namespace

std::string HexFrame(const uint8_t* bytes, size_t size) {
    std::string text;
    char hex[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", bytes[i]);
        text += hex;
    }
    return text;
}

uint32_t AnswerDelayMs(const nxjbus::Exchange& e) {
    if (!e.answered || e.answerUs < e.sentUs)
        return 0;
    return static_cast<uint32_t>(std::min<uint64_t>((e.answerUs - e.sentUs) / 1000, 60000));
}

const nxjbus::Exchange* LinkReplay::Next(const uint8_t* request, size_t size) {
    const auto& all = m_trace.exchanges;
    auto same = [&](const nxjbus::Exchange& e) {
        return e.request.size() == size && std::equal(e.request.begin(), e.request.end(), request);
    };
    if (m_next >= all.size()) {
        Diverge("request " + HexFrame(request, size) + " after the end of the trace");
        return nullptr;
    }
    const size_t end = std::min(all.size(), m_next + 1 + kLookAhead);
    for (size_t i = m_next; i < end; ++i) {
        if (!same(all[i]))
            continue;
        if (i > m_next)
            Diverge("skipped " + std::to_string(i - m_next) + " recorded exchange(s) from #" +
                    std::to_string(m_next + 1) + " to reach " + HexFrame(request, size));
        m_next = i + 1;
        ++m_played;
        return &all[i];
    }
    const auto& expected = all[m_next].request;
    Diverge("exchange #" + std::to_string(m_next + 1) + ": the module sent " + HexFrame(request, size) +
            ", the trace has " + HexFrame(expected.data(), expected.size()));
    return nullptr;
}

void LinkReplay::Diverge(std::string what) {
    ++m_divergences;
    if (m_firstDivergence.empty())
        m_firstDivergence = what;
    m_lastDivergence = std::move(what);
}

std::string LinkReplay::Status() const {
    std::string text = "replay: played " + std::to_string(m_played) + " of " +
                       std::to_string(m_trace.exchanges.size()) + " exchanges, " +
                       std::to_string(m_divergences) + " divergences";
    if (!m_firstDivergence.empty())
        text += "; first: " + m_firstDivergence;
    return text;
}

} // namespace emu
