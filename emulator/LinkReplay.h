// Replay of a recorded link session: the unit's side of each exchange played back to the module's
// requests, in order, so a fault seen at a site shows again in the lab with the real module.
#pragma once

#include "nxjbus/TraceFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace emu {

class LinkReplay {
public:
    explicit LinkReplay(nxjbus::Trace trace) : m_trace(std::move(trace)) {}

    // The recorded exchange that answers this request, or null when the module's request differs from
    // the trace (or the trace has ended): the unit then stays silent and the divergence is noted. A
    // request found a few exchanges further on skips the ones between, and that too is a divergence:
    // the module left out requests the recorded one made.
    const nxjbus::Exchange* Next(const uint8_t* request, size_t size);

    size_t Played() const { return m_played; }
    size_t Divergences() const { return m_divergences; }
    bool Finished() const { return m_next >= m_trace.exchanges.size(); }
    // "replay: played P of N exchanges, D divergences" and the first divergence in full.
    std::string Status() const;
    const std::string& LastDivergence() const { return m_lastDivergence; }

private:
    void Diverge(std::string what);

    nxjbus::Trace m_trace;
    size_t m_next = 0, m_played = 0, m_divergences = 0;
    std::string m_firstDivergence, m_lastDivergence;
};

// How long the recorded unit took to answer, in ms (0 for silence).
uint32_t AnswerDelayMs(const nxjbus::Exchange& exchange);

// Spaced hex of a frame, as the trace writes it.
std::string HexFrame(const uint8_t* bytes, size_t size);

} // namespace emu
