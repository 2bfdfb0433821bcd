// Reading a service trace back into exchanges.
#include "nxjbus/TraceFile.h"

#include "nxjbus/FrameTrace.h"
#include "nxjbus/JbusFrame.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace nxjbus {

namespace {

bool ParseTime(const std::string& text, uint64_t& us) {
    const size_t point = text.find('.');
    if (point == std::string::npos || point == 0 || text.size() - point != 4)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i != point && (text[i] < '0' || text[i] > '9'))
            return false;
    us = std::strtoull(text.substr(0, point).c_str(), nullptr, 10) * 1000 +
         std::strtoull(text.substr(point + 1).c_str(), nullptr, 10);
    return true;
}

bool ParseBytes(std::istringstream& fields, std::vector<uint8_t>& bytes) {
    std::string hex;
    while (fields >> hex) {
        if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1])) || bytes.size() >= kMaxFrameBytes)
            return false;
        bytes.push_back(static_cast<uint8_t>(std::strtoul(hex.c_str(), nullptr, 16)));
    }
    return true;
}

bool CrcGood(const std::vector<uint8_t>& frame) {
    if (frame.size() < 4)
        return false;
    const uint16_t crc = Crc16(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

} // namespace

bool ReadTrace(std::istream& in, Trace& trace, std::string& error, const std::string& port) {
    trace = {};
    trace.port = port;
    std::string line;
    size_t number = 0;
    bool newSession = true;
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line[0] == '#') {
            std::istringstream fields(line.substr(std::strlen(kTraceHeader)));
            int version = 0;
            if (line.rfind(kTraceHeader, 0) != 0 || !(fields >> version) || version < 1)
                return fail("not a trace header");
            if (version > kTraceVersion)
                return fail("trace format version " + std::to_string(version) + ", this reader knows up to " +
                            std::to_string(kTraceVersion));
            trace.version = version;
            newSession = true;
            continue;
        }
        std::istringstream fields(line);
        std::string time, name, direction;
        uint64_t us = 0;
        if (!(fields >> time >> name >> direction) || !ParseTime(time, us))
            return fail("expected: time port TX|RX|RX(discarded)|-- ...");
        if (trace.port.empty())
            trace.port = name;
        if (name != trace.port)
            continue;
        if (trace.firstUs == 0 && trace.exchanges.empty())
            trace.firstUs = us;
        trace.lastUs = us;
        if (direction == "--")
            continue; // notes: the frames tell what happened
        std::vector<uint8_t> bytes;
        if (!ParseBytes(fields, bytes))
            return fail("frame bytes are two hex digits each, at most 256");
        if (direction == "TX") {
            Exchange exchange;
            exchange.sentUs = us;
            exchange.request = std::move(bytes);
            exchange.sessionStart = newSession;
            newSession = false;
            trace.exchanges.push_back(std::move(exchange));
        } else if (direction == "RX") {
            if (trace.exchanges.empty() || trace.exchanges.back().answered)
                return fail("an answer without its request");
            Exchange& exchange = trace.exchanges.back();
            exchange.answered = true;
            exchange.answer = std::move(bytes);
            exchange.answerUs = us;
        } else if (direction != "RX(discarded)") {
            return fail("unknown direction " + direction);
        }
    }
    if (trace.port.empty())
        return fail("no frame in the trace");
    return true;
}

const char* AnswerKindName(AnswerKind kind) {
    static const char* const kNames[] = {"no answer", "good",      "exception",
                                         "bad CRC",   "cut short", "bad frame"};
    return kNames[static_cast<int>(kind)];
}

AnswerKind ClassifyAnswer(const Exchange& e) {
    if (!e.answered || e.answer.empty())
        return AnswerKind::Silence;
    const std::vector<uint8_t>& a = e.answer;
    const uint8_t function = e.request.size() > 1 ? e.request[1] : 0;
    const uint16_t count =
        e.request.size() >= 6 ? static_cast<uint16_t>((e.request[4] << 8) | e.request[5]) : uint16_t{0};
    const bool exception = a.size() >= 2 && (a[1] & kExceptionBit);
    const size_t expected = exception ? 5 : ExpectedAnswerBytes(function, count);
    if (!CrcGood(a))
        return a.size() < expected ? AnswerKind::CutShort : AnswerKind::BadCrc;
    if (a[0] != e.request[0] || (a[1] & ~kExceptionBit) != function || a.size() != expected)
        return AnswerKind::BadFrame;
    if (exception)
        return AnswerKind::Exception;
    if (function != kReadHoldingRegisters && !std::equal(a.begin() + 2, a.begin() + 6, e.request.begin() + 2))
        return AnswerKind::BadFrame;
    return AnswerKind::Good;
}

} // namespace nxjbus
