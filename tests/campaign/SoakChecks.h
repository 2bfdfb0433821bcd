// What the soak judges, apart from the Windows glue: the event log's shape, arranged image lines, the
// guard behind a record, and how a closed panel's notifications end.
#pragma once

#include "host/image/ImageServices.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace soak {

using host::image::TmjImage;
inline constexpr int kTmjWidth = 3494;
inline constexpr unsigned char kGuardByte = 0xA5;
inline constexpr std::size_t kRawLineBytes = 2488;
inline constexpr std::size_t kGroups = 622;

inline std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// A closed panel's last two notifications are 1 then 3.
inline bool EndsClosed(const std::vector<std::int32_t>& events) {
    return events.size() >= 2 && events[events.size() - 2] == 1 && events.back() == 3;
}

// The record area a host handed over, past the largest record the module may write.
inline bool GuardIntact(const std::vector<unsigned char>& record, std::size_t written = 293) {
    return std::all_of(record.begin() + static_cast<std::ptrdiff_t>(written), record.end(),
                       [](unsigned char b) { return b == kGuardByte; });
}

inline std::vector<unsigned char> RawLines(std::size_t lines, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<unsigned char> raw(lines * kRawLineBytes);
    for (unsigned char& b : raw)
        b = static_cast<unsigned char>(random());
    return raw;
}

// Every line is its raw line's A pixels then B pixels, plain or reversed end for end (the mirror
// flag follows the unit and may change between calls, never within one).
inline bool ArrangedFrom(const std::vector<unsigned char>& arranged, const std::vector<unsigned char>& raw) {
    for (std::size_t line = 0; line + kRawLineBytes <= raw.size(); line += kRawLineBytes) {
        const unsigned char* in = raw.data() + line;
        const unsigned char* out = arranged.data() + line;
        bool plain = true, mirrored = true;
        for (std::size_t g = 0; g < kGroups && (plain || mirrored); ++g) {
            auto same = [&](std::size_t pixel, std::size_t at) {
                return out[2 * pixel] == in[at] && out[2 * pixel + 1] == in[at + 1];
            };
            plain = plain && same(g, 4 * g) && same(kGroups + g, 4 * g + 2);
            mirrored = mirrored && same(2 * kGroups - 1 - g, 4 * g) && same(kGroups - 1 - g, 4 * g + 2);
        }
        if (!plain && !mirrored)
            return false;
    }
    return true;
}

struct LogVerdict {
    std::string problem; // empty when the log is sound
    int newEntries = 0;  // entries above the prefilled ones
};

// The log is newest first: this run's entries, then the prefilled ones ("[OLD]"), the older part
// never beyond the cap (it may end in a line cut at the cap). Every whole line is an entry.
inline LogVerdict JudgeLog(const std::string& content, std::size_t cap) {
    static const std::regex entry(R"(\d+:\[[^\]]{0,7}\];.*;\d\d/\d\d/\d{2,4} \d\dh\d\dmin;.*:-?\d+)");
    LogVerdict verdict;
    const std::size_t firstEnd = content.find("\r\n");
    if (firstEnd == std::string::npos) {
        verdict.problem = "no whole entry";
        return verdict;
    }
    if (content.size() - (firstEnd + 2) > cap) {
        verdict.problem = "the older part holds " + std::to_string(content.size() - firstEnd - 2) +
                          " bytes, beyond the cap of " + std::to_string(cap);
        return verdict;
    }
    bool old = false;
    std::size_t at = 0;
    int lineNumber = 0;
    while (at < content.size()) {
        ++lineNumber;
        const std::size_t end = content.find("\r\n", at);
        const std::string line = content.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (end == std::string::npos) {
            // Only the cut at the cap may leave a partial line.
            if (content.size() - (firstEnd + 2) != cap)
                verdict.problem = "the last line is cut short below the cap";
            break;
        }
        if (!std::regex_match(line, entry)) {
            verdict.problem = "line " + std::to_string(lineNumber) + " is not an entry: " + line.substr(0, 120);
            break;
        }
        const bool isOld = line.find(":[OLD];") != std::string::npos;
        if (old && !isOld) {
            verdict.problem = "a new entry below the older ones at line " + std::to_string(lineNumber);
            break;
        }
        old = old || isOld;
        verdict.newEntries += isOld ? 0 : 1;
        at = end + 2;
    }
    return verdict;
}

} // namespace soak
