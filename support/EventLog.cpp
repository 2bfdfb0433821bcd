// Event log entries, the newest-first file discipline and error reports.
#include "support/EventLog.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace support {
namespace {
struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ReadAll(std::FILE* f, std::string& out) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    return !std::ferror(f);
}
} // namespace

std::string FormatLogEntry(int level, const std::string& tag, const std::string& message, const LogTime& t,
                           const std::string& function, int location) {
    const char* format = "%d:[%s];%s;%.2d/%.2d/%.2d %.2dh%.2dmin;%s:%d\r\n";
    int n = std::snprintf(nullptr, 0, format, level, tag.c_str(), message.c_str(), t.day, t.month, t.year,
                          t.hour, t.minute, function.c_str(), location);
    if (n < 0)
        return {};
    std::string line(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(line.data(), line.size(), format, level, tag.c_str(), message.c_str(), t.day, t.month, t.year,
                  t.hour, t.minute, function.c_str(), location);
    line.resize(static_cast<size_t>(n));
    return line;
}

std::string ComposeLogContent(const std::string& entry, const std::string& previous) {
    std::string content;
    size_t kept = previous.size() < kLogOlderPartCap ? previous.size() : kLogOlderPartCap;
    content.reserve(entry.size() + kept);
    content += entry;
    content.append(previous, 0, kept);
    return content;
}

std::string ErrorNumberMessage(int code) {
    char text[32];
    std::snprintf(text, sizeof text, kErrorNumberFormat, static_cast<int16_t>(code & 0xFFFF) + 400);
    return text;
}

EventLog::EventLog(Lockable& lock, PathProvider path, Clock clock)
    : m_lock(lock), m_path(std::move(path)), m_clock(std::move(clock)) {}

void EventLog::SetLogTag(const std::string& text) {
    LockGuard guard(m_lock);
    if (!guard.owns())
        return;
    std::memset(m_tag, 0, sizeof m_tag);
    std::memcpy(m_tag, text.data(), text.size() < 7 ? text.size() : 7);
}

std::string EventLog::GetLogTag() {
    LockGuard guard(m_lock);
    if (!guard.owns())
        return std::string();
    return m_tag;
}

std::string EventLog::GetLogPath() {
    LockGuard guard(m_lock);
    if (!guard.owns())
        return std::string();
    return m_path ? m_path() : std::string();
}

void EventLog::WriteLogEntry(int level, const std::string& message, const std::string& function, int location) {
    LogTime now = m_clock ? m_clock() : LogTime{};
    LockGuard guard(m_lock);
    // Without the lock another writer could interleave and lose the history: the entry is lost instead.
    if (!guard.owns())
        return;
    std::string path = m_path ? m_path() : std::string();
    if (path.empty())
        return;
    const std::string entry = FormatLogEntry(level, m_tag, message, now, function, location);

    std::string previous;
    errno = 0;
    if (File in{std::fopen(path.c_str(), "rb")}) {
        // An unreadable previous log is kept as it is rather than replaced by a single line.
        if (!ReadAll(in.get(), previous))
            return;
    } else if (errno != ENOENT) {
        // Only a missing log is started anew: one held by another program without read sharing, or
        // denied to us, keeps its history and this entry is lost.
        return;
    }
    File out{std::fopen(path.c_str(), "wb")};
    if (!out)
        return;
    const std::string content = ComposeLogContent(entry, previous);
    std::fwrite(content.data(), 1, content.size(), out.get());
}

int EventLog::ReportError(int code, const std::string& function, int location) {
    if (code == 4 || code == 15)
        return code;
    WriteLogEntry(kLogLevelError, ErrorNumberMessage(code), function, location);
    return code;
}

} // namespace support
