// Service trace of the frames on one port: one text line per frame or failure, appended to a file named
// by the NXJBUS_TRACE environment variable. Off (and free) unless that variable is set.
// Each opening starts with a header line "# lumen-jbus-trace <version> <port>"; then one line per event:
// "<ms>.<us> <port> TX|RX|RX(discarded) <hex bytes>" or "<ms>.<us> <port> -- <note>". The emulator replays
// such a file and lumen-trace-summary reads it, so a change of layout takes a new version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace nxjbus {

inline constexpr int kTraceVersion = 1;
inline constexpr const char* kTraceHeader = "# lumen-jbus-trace";

class FrameTrace {
public:
    // Returns no trace when path is null or empty or the file cannot be opened for appending.
    static std::unique_ptr<FrameTrace> Open(const char* path, const std::string& portName);
    ~FrameTrace();
    FrameTrace(const FrameTrace&) = delete;
    FrameTrace& operator=(const FrameTrace&) = delete;

    void Frame(const char* direction, const uint8_t* data, size_t size, uint64_t nowUs);
    void Note(const char* text, uint64_t nowUs);

private:
    FrameTrace(std::FILE* file, std::string portName) : m_file(file), m_portName(std::move(portName)) {}
    void WriteLine(const std::string& line);

    std::FILE* m_file;
    std::string m_portName;
};

} // namespace nxjbus
