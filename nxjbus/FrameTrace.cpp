// Service trace of the frames on one port.
#include "nxjbus/FrameTrace.h"

#include <cinttypes>

namespace nxjbus {

std::unique_ptr<FrameTrace> FrameTrace::Open(const char* path, const std::string& portName) {
    if (path == nullptr || *path == '\0')
        return nullptr;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr)
        return nullptr;
    std::unique_ptr<FrameTrace> trace(new FrameTrace(file, portName));
    trace->WriteLine(std::string(kTraceHeader) + " " + std::to_string(kTraceVersion) + " " + portName);
    return trace;
}

FrameTrace::~FrameTrace() {
    std::fclose(m_file);
}

void FrameTrace::Frame(const char* direction, const uint8_t* data, size_t size, uint64_t nowUs) {
    char head[96];
    std::snprintf(head, sizeof head, "%" PRIu64 ".%03u %s %s", nowUs / 1000, unsigned(nowUs % 1000),
                  m_portName.c_str(), direction);
    std::string line = head;
    char hex[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, " %02X", data[i]);
        line += hex;
    }
    WriteLine(line);
}

void FrameTrace::Note(const char* text, uint64_t nowUs) {
    char head[96];
    std::snprintf(head, sizeof head, "%" PRIu64 ".%03u %s -- ", nowUs / 1000, unsigned(nowUs % 1000),
                  m_portName.c_str());
    WriteLine(std::string(head) + text);
}

void FrameTrace::WriteLine(const std::string& line) {
    // One write per line and a flush, so a trace survives a crash of the host and lines of several
    // ports sharing one file do not interleave mid-line.
    std::string withEnd = line + "\n";
    std::fputs(withEnd.c_str(), m_file);
    std::fflush(m_file);
}

} // namespace nxjbus
