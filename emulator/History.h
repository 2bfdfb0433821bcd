// What the unit received over its link, kept in bounded rings so that a soak never exhausts memory, and
// the text form of the history lines with its parser: tests of the in-process unit read these replies to
// check, for instance, that the host sent 0x0086 exactly once.
#pragma once

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

namespace emu {

// A command word written to the command register and the exception code it got (0 = done).
struct CommandRecord {
    uint16_t word = 0;
    int result = 0;
};
// A write to any other area: its first register, the result and the words written.
struct WriteRecord {
    uint16_t address = 0;
    int result = 0;
    std::vector<uint16_t> words;
};
// A request as the unit decoded it, with the link fault played on it ("-" for none).
struct RequestRecord {
    uint64_t timeMs = 0; // since the unit started
    unsigned function = 0;
    uint16_t address = 0;
    uint16_t count = 0;
    std::string fault = "-";
};

template <typename T> class HistoryRing {
public:
    explicit HistoryRing(size_t capacity) : m_capacity(capacity) {}
    void Push(T item) {
        if (m_items.size() == m_capacity)
            m_items.pop_front();
        m_items.push_back(std::move(item));
    }
    void Clear() { m_items.clear(); }
    const std::deque<T>& Items() const { return m_items; }

private:
    size_t m_capacity;
    std::deque<T> m_items;
};

namespace history {

constexpr size_t kCapacity = 512;

// Reply forms, oldest entry first, at most `last` entries (the newest ones):
//   commands  "n=2 0x0085:0 0x0382:0"          word:result
//   writes    "n=1 0x7079:0:0001,0000,0002"    address:result:words in hex
//   requests  "n=1 1250:3:0x7000:64:-"         time ms:function:address:count:fault
template <typename T, typename Put> std::string Format(const HistoryRing<T>& ring, size_t last, Put put) {
    const auto& items = ring.Items();
    const size_t n = std::min(last, items.size());
    std::string text = "n=" + std::to_string(n);
    char buffer[64];
    for (size_t i = items.size() - n; i < items.size(); ++i) {
        text += ' ';
        put(items[i], text, buffer, sizeof buffer);
    }
    return text;
}

inline std::string FormatCommands(const HistoryRing<CommandRecord>& ring, size_t last) {
    return Format(ring, last, [](const CommandRecord& r, std::string& text, char* b, size_t size) {
        std::snprintf(b, size, "0x%04X:%d", r.word, r.result);
        text += b;
    });
}

inline std::string FormatWrites(const HistoryRing<WriteRecord>& ring, size_t last) {
    return Format(ring, last, [](const WriteRecord& r, std::string& text, char* b, size_t size) {
        std::snprintf(b, size, "0x%04X:%d:", r.address, r.result);
        text += b;
        for (size_t i = 0; i < r.words.size(); ++i) {
            std::snprintf(b, size, i ? ",%04X" : "%04X", r.words[i]);
            text += b;
        }
    });
}

inline std::string FormatRequests(const HistoryRing<RequestRecord>& ring, size_t last) {
    return Format(ring, last, [](const RequestRecord& r, std::string& text, char* b, size_t size) {
        std::snprintf(b, size, "%" PRIu64 ":%u:0x%04X:%u:", r.timeMs, r.function, r.address, r.count);
        text += b;
        text += r.fault;
    });
}

// Parsing: false on any entry that does not have its form (the vector then holds the entries before it).
namespace detail {
inline bool Number(const std::string& text, unsigned long long max, unsigned long long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 0);
    return *end == '\0' && value <= max;
}
inline bool Hex16(const std::string& text, uint16_t& value) {
    if (text.empty() || text.size() > 4)
        return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 16);
    value = static_cast<uint16_t>(v);
    return *end == '\0' && text[0] != '-' && text[0] != '+';
}
inline std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.emplace_back();
    return parts;
}
template <typename Entry> bool Entries(const std::string& reply, Entry entry) {
    std::istringstream in(reply);
    std::string word;
    unsigned long long n = 0, seen = 0;
    if (!(in >> word) || word.rfind("n=", 0) != 0 || !Number(word.substr(2), history::kCapacity, n))
        return false;
    while (in >> word) {
        if (!entry(Split(word, ':')))
            return false;
        ++seen;
    }
    return seen == n;
}
} // namespace detail

inline bool ParseCommands(const std::string& reply, std::vector<CommandRecord>& out) {
    out.clear();
    return detail::Entries(reply, [&](const std::vector<std::string>& f) {
        unsigned long long word = 0, result = 0;
        if (f.size() != 2 || !detail::Number(f[0], 0xFFFF, word) || !detail::Number(f[1], 255, result))
            return false;
        out.push_back({static_cast<uint16_t>(word), static_cast<int>(result)});
        return true;
    });
}

inline bool ParseWrites(const std::string& reply, std::vector<WriteRecord>& out) {
    out.clear();
    return detail::Entries(reply, [&](const std::vector<std::string>& f) {
        unsigned long long address = 0, result = 0;
        if (f.size() != 3 || !detail::Number(f[0], 0xFFFF, address) || !detail::Number(f[1], 255, result))
            return false;
        WriteRecord record{static_cast<uint16_t>(address), static_cast<int>(result), {}};
        if (!f[2].empty())
            for (const std::string& hex : detail::Split(f[2], ',')) {
                uint16_t value = 0;
                if (!detail::Hex16(hex, value))
                    return false;
                record.words.push_back(value);
            }
        out.push_back(std::move(record));
        return true;
    });
}

inline bool ParseRequests(const std::string& reply, std::vector<RequestRecord>& out) {
    out.clear();
    return detail::Entries(reply, [&](const std::vector<std::string>& f) {
        unsigned long long time = 0, function = 0, address = 0, count = 0;
        if (f.size() != 5 || !detail::Number(f[0], UINT64_MAX, time) ||
            !detail::Number(f[1], 255, function) || !detail::Number(f[2], 0xFFFF, address) ||
            !detail::Number(f[3], 0xFFFF, count) || f[4].empty())
            return false;
        out.push_back({time, static_cast<unsigned>(function), static_cast<uint16_t>(address),
                       static_cast<uint16_t>(count), f[4]});
        return true;
    });
}

inline size_t CountCommand(const std::vector<CommandRecord>& commands, uint16_t word) {
    size_t n = 0;
    for (const CommandRecord& c : commands)
        n += c.word == word ? 1 : 0;
    return n;
}

} // namespace history
} // namespace emu
