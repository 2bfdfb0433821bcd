#include "tests/campaign/LineFaults.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace campaign::line {

namespace {

const char* const kNames[kFaultKinds] = {"none", "badcrc", "dropped", "cut", "late"};

constexpr uint32_t Bit(int result) { return 1u << result; }

// The results an attempt's answer leads to when it is the last attempt of its call.
uint32_t LastAttempt(Fault fault, bool answered) {
    if (!answered)
        return Bit(12);
    switch (fault) {
    case Fault::None:
        return Bit(0);
    case Fault::BadCrc:
    case Fault::CutShort:
        return Bit(13);
    case Fault::Dropped:
        return Bit(12);
    case Fault::Late:
        // Past the master's wait as the relay counts it; a master that wakes up late may still take it.
        return Bit(12) | Bit(0);
    }
    return 0;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ','))
        out.push_back(field);
    return out;
}

bool Number(const std::string& text, long long& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0';
}

template <typename Row>
bool ParseLines(const std::string& text, std::vector<Row>& out, bool (*parse)(const std::vector<std::string>&, Row&)) {
    out.clear();
    std::stringstream in(text);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (header) {
            header = false;
            continue;
        }
        Row row;
        if (!parse(Fields(line), row))
            return false;
        out.push_back(row);
    }
    return true;
}

} // namespace

const char* FaultName(Fault fault) noexcept { return kNames[static_cast<int>(fault)]; }

bool ParseFault(const std::string& text, Fault& out) noexcept {
    for (int i = 0; i < kFaultKinds; ++i)
        if (text == kNames[i]) {
            out = static_cast<Fault>(i);
            return true;
        }
    return false;
}

uint64_t FaultDraw::Step() noexcept {
    // splitmix64: good enough spread for fault draws and identical everywhere.
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

Fault FaultDraw::Next() noexcept {
    uint64_t r = Step() % 10000;
    if (r < m_rates.badCrc)
        return Fault::BadCrc;
    r -= m_rates.badCrc;
    if (r < m_rates.dropped)
        return Fault::Dropped;
    r -= m_rates.dropped;
    if (r < m_rates.cutShort)
        return Fault::CutShort;
    r -= m_rates.cutShort;
    return r < m_rates.late ? Fault::Late : Fault::None;
}

size_t FaultDraw::CutLength(size_t size) noexcept { return size < 2 ? 0 : 1 + Step() % (size - 1); }

size_t RequestLength(const uint8_t* bytes, size_t have) noexcept {
    if (have < 2)
        return 0;
    switch (bytes[1]) {
    case 0x03:
    case 0x06:
        return 8;
    case 0x10:
        return have < 7 ? 0 : 9 + static_cast<size_t>(bytes[6]);
    default:
        return SIZE_MAX;
    }
}

size_t AnswerLength(const uint8_t* bytes, size_t have) noexcept {
    if (have < 3)
        return 0;
    if (bytes[1] & 0x80)
        return 5;
    switch (bytes[1]) {
    case 0x03:
        return 5 + static_cast<size_t>(bytes[2]);
    case 0x06:
    case 0x10:
        return 8;
    default:
        return SIZE_MAX;
    }
}

size_t CallLedger::OnRequest(const uint8_t* frame, size_t size) {
    const bool same = !m_calls.empty() && m_last.size() == size && std::equal(m_last.begin(), m_last.end(), frame);
    if (same) {
        RelayCall& call = m_calls.back();
        if (call.attempts == 1 && (!call.answered[0] || call.faults[0] != Fault::None || call.crossed)) {
            call.attempts = 2;
            return m_calls.size() - 1;
        }
    }
    m_last.assign(frame, frame + size);
    m_calls.push_back(RelayCall{});
    m_calls.back().attempts = 1;
    return m_calls.size() - 1;
}

void CallLedger::OnAnswer(Fault fault) {
    if (m_calls.empty())
        return; // an answer nobody asked for: nothing to account it to
    RelayCall& call = m_calls.back();
    const int attempt = call.attempts - 1;
    call.answered[attempt] = true;
    call.faults[attempt] = fault;
}

void CallLedger::OnReleased(size_t owner) {
    if (!m_calls.empty() && owner + 1 < m_calls.size())
        m_calls.back().crossed = true;
}

uint32_t AllowedResults(const RelayCall& call) noexcept {
    if (call.crossed)
        return Bit(0) | Bit(12) | Bit(13); // an earlier call's answer met this one; the value is still checked
    const int last = call.attempts - 1;
    if (call.attempts == 1) {
        // A damaged or missing answer always gets its retry; only a late one the master still took may not.
        return call.answered[0] && (call.faults[0] == Fault::None || call.faults[0] == Fault::Late) ? Bit(0) : 0;
    }
    if (call.attempts != 2)
        return 0;
    uint32_t allowed = LastAttempt(call.faults[last], call.answered[last]);
    // The first attempt's late answer reaches the line while the retry waits (it is the same answer), or
    // just before the retry goes out, when the master flushes it.
    if (call.answered[0] && call.faults[0] == Fault::Late)
        allowed |= Bit(0);
    return allowed;
}

std::string Reconciliation::Summary() const {
    std::string text;
    char line[200];
    std::snprintf(line, sizeof line, "calls %zu: clean %zu, crossed by a late answer %zu, values checked %zu, wrong %zu\n",
                  calls, clean, crossed, checkedValues, wrongValues);
    text += line;
    text += "fault      injected  absorbed  ended-12  ended-13\n";
    for (int k = 1; k < kFaultKinds; ++k) {
        std::snprintf(line, sizeof line, "%-9s  %8zu  %8zu  %8zu  %8zu\n", kNames[k], injected[k], absorbed[k],
                      ended12[k], ended13[k]);
        text += line;
    }
    std::snprintf(line, sizeof line, "longest call %.1f ms; highest share of its bound %.2f; over the bound %zu\n",
                  static_cast<double>(longestUs) / 1000.0, worstBoundRatio, overBound);
    text += line;
    for (const std::string& p : problems)
        text += "PROBLEM: " + p + "\n";
    return text;
}

Reconciliation Reconcile(const std::vector<RelayCall>& relay, const std::vector<DriverCall>& driver) {
    Reconciliation r;
    r.calls = driver.size();
    if (relay.size() != driver.size())
        r.problems.push_back("the relay saw " + std::to_string(relay.size()) + " calls, the driver made " +
                             std::to_string(driver.size()));
    const size_t n = std::min(relay.size(), driver.size());
    for (size_t i = 0; i < n; ++i) {
        const RelayCall& rc = relay[i];
        const DriverCall& dc = driver[i];
        bool any = false;
        for (int a = 0; a < rc.attempts && a < 2; ++a) {
            if (!rc.answered[a]) {
                r.problems.push_back("the unit did not answer call " + std::to_string(i));
                continue;
            }
            const int k = static_cast<int>(rc.faults[a]);
            if (k == 0)
                continue;
            any = true;
            ++r.injected[k];
            if (dc.result == 0)
                ++r.absorbed[k];
            else if (dc.result == 12)
                ++r.ended12[k];
            else if (dc.result == 13)
                ++r.ended13[k];
        }
        r.clean += !any;
        r.crossed += rc.crossed;
        const uint32_t allowed = AllowedResults(rc);
        if (dc.result < 0 || dc.result > 31 || !(allowed & Bit(dc.result))) {
            char text[160];
            std::snprintf(text, sizeof text, "call %zu ended with %d; the line gave it %s then %s (attempts %d%s)", i,
                          dc.result, FaultName(rc.faults[0]), rc.attempts > 1 ? FaultName(rc.faults[1]) : "-",
                          rc.attempts, rc.crossed ? ", crossed" : "");
            r.problems.push_back(text);
        }
        if (dc.valueOk >= 0)
            ++r.checkedValues;
        if (dc.valueOk == 0) {
            ++r.wrongValues;
            r.problems.push_back("call " + std::to_string(i) + " accepted a wrong value");
        }
        r.longestUs = std::max(r.longestUs, dc.elapsedUs);
        if (dc.boundUs > 0)
            r.worstBoundRatio = std::max(r.worstBoundRatio, static_cast<double>(dc.elapsedUs) / dc.boundUs);
        if (dc.elapsedUs > dc.boundUs) {
            ++r.overBound;
            r.problems.push_back("call " + std::to_string(i) + " took " + std::to_string(dc.elapsedUs) +
                                 " us, over its bound of " + std::to_string(dc.boundUs));
        }
    }
    return r;
}

std::string RelayCsv(const std::vector<RelayCall>& calls) {
    std::string text = "call,attempts,fault1,fault2,answered1,answered2,crossed\n";
    char line[96];
    for (size_t i = 0; i < calls.size(); ++i) {
        const RelayCall& c = calls[i];
        std::snprintf(line, sizeof line, "%zu,%d,%s,%s,%d,%d,%d\n", i, c.attempts, FaultName(c.faults[0]),
                      FaultName(c.faults[1]), c.answered[0], c.answered[1], c.crossed);
        text += line;
    }
    return text;
}

bool ParseRelayCsv(const std::string& text, std::vector<RelayCall>& out) {
    return ParseLines<RelayCall>(text, out, [](const std::vector<std::string>& f, RelayCall& c) {
        long long attempts = 0, a1 = 0, a2 = 0, crossed = 0;
        return f.size() == 7 && Number(f[1], attempts) && attempts >= 1 && attempts <= 2 && ParseFault(f[2], c.faults[0]) &&
               ParseFault(f[3], c.faults[1]) && Number(f[4], a1) && Number(f[5], a2) && Number(f[6], crossed) &&
               ((c.attempts = static_cast<int>(attempts)), (c.answered[0] = a1 != 0), (c.answered[1] = a2 != 0),
                (c.crossed = crossed != 0), true);
    });
}

bool ParseDriverCsv(const std::string& text, std::vector<DriverCall>& out) {
    // call,operation,result,value_ok,elapsed_us,bound_us
    return ParseLines<DriverCall>(text, out, [](const std::vector<std::string>& f, DriverCall& c) {
        long long result = 0, ok = 0, elapsed = 0, bound = 0;
        if (f.size() != 6 || !Number(f[2], result) || !Number(f[3], ok) || !Number(f[4], elapsed) ||
            !Number(f[5], bound) || elapsed < 0 || bound < 0)
            return false;
        c.result = static_cast<int>(result);
        c.valueOk = ok < 0 ? -1 : ok != 0;
        c.elapsedUs = static_cast<uint64_t>(elapsed);
        c.boundUs = static_cast<uint64_t>(bound);
        return true;
    });
}

} // namespace campaign::line
