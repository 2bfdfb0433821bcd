// The module's event log "HalvexPan.csv": one CSV line per event, newest first, the older part
// capped, every writer (any process, any thread) serialised by the log lock.
#pragma once

#include "support/Lockable.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace support {

inline constexpr int kLogLevelError = 1;
inline constexpr int kLogLevelInformation = 3;
// What follows the newest entry never exceeds this many bytes.
inline constexpr size_t kLogOlderPartCap = 1024000;
inline constexpr char kLogFileName[] = "HalvexPan.csv";
inline constexpr char kLogMutexName[] = "HalvexPanoLogMutex";
// "°" in the log is one Windows-1252 byte.
inline constexpr char kErrorNumberFormat[] = "Error n\xB0%d";

struct LogTime {
    int day = 1, month = 1, year = 1970, hour = 0, minute = 0;
};

// "%d:[%s];%s;%.2d/%.2d/%.2d %.2dh%.2dmin;%s:%d\r\n"
std::string FormatLogEntry(int level, const std::string& tag, const std::string& message, const LogTime& time,
                           const std::string& function, int location);

// The new file content: the entry, then at most the cap's worth of the previous content.
std::string ComposeLogContent(const std::string& entry, const std::string& previous);

// "Error n°%d" of the low 16 bits of code, taken as signed, plus 400.
std::string ErrorNumberMessage(int code);

class EventLog {
public:
    using PathProvider = std::function<std::string()>;
    using Clock = std::function<LogTime()>;

    // The path is asked for on every entry (the folder may appear or move); an empty path loses entries.
    EventLog(Lockable& lock, PathProvider path, Clock clock);

    // Copies at most 7 characters of text into the tag, under the log lock.
    void SetLogTag(const std::string& text);
    std::string GetLogTag();
    // The log path, computed under the log lock.
    std::string GetLogPath();

    // Adds an entry; a file that cannot be opened loses it silently. Only a missing file is created:
    // an existing log that cannot be read is never replaced.
    void WriteLogEntry(int level, const std::string& message, const std::string& function, int location);

    // 4 and 15 pass unlogged; other codes are logged as error number code + 400. Returns code.
    int ReportError(int code, const std::string& function, int location);

private:
    Lockable& m_lock;
    PathProvider m_path;
    Clock m_clock;
    char m_tag[8] = {};
};

} // namespace support
