// Reading a service trace back: the frames of one port grouped into exchanges (one request sent and what
// came back to it), and what each answer was. Used by the emulator's replay and the trace summary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace nxjbus {

// One request on the wire and the unit's reaction to it; a retry is an exchange of its own.
struct Exchange {
    uint64_t sentUs = 0;
    std::vector<uint8_t> request;
    bool answered = false; // an RX line followed
    std::vector<uint8_t> answer;
    uint64_t answerUs = 0;     // when the master finished reading it
    bool sessionStart = false; // first exchange after a header: times before it belong to another run
};

struct Trace {
    int version = 0; // of the last header; 0 for traces written before headers existed
    std::string port;
    std::vector<Exchange> exchanges;
    uint64_t firstUs = 0, lastUs = 0; // of any line of the port, notes included
};

// Reads the lines of one port (the first one met when port is empty). Fails on a version newer than
// this reader or a line that is not one of the trace's, naming the line.
bool ReadTrace(std::istream& in, Trace& trace, std::string& error, const std::string& port = {});

enum class AnswerKind { Silence, Good, Exception, BadCrc, CutShort, BadFrame };
const char* AnswerKindName(AnswerKind kind);
// What the master made of the answer: BadFrame is a whole frame with a valid CRC that does not fit the
// request (another slave, function, length or echo), which the master does not retry.
AnswerKind ClassifyAnswer(const Exchange& exchange);

// What the technician asks of a trace first. Every exchange counts as a request, retries included.
struct TraceSummary {
    size_t requests = 0;
    double seconds = 0;
    double requestsPerSecond = 0;
    size_t byKind[6] = {}; // indexed by AnswerKind
    size_t exceptionsByCode[256] = {};
    std::vector<double> latencyMs; // answered exchanges, sorted
    double longestSilenceMs = 0;   // longest time without a valid answer from the unit
    double longestSilenceAtMs = 0; // trace time where it began
};
TraceSummary Summarise(const Trace& trace);
std::string FormatSummary(const TraceSummary& summary, const std::string& port);

} // namespace nxjbus
