// The technician's view of a trace: load, failures by kind, answer times and the longest silence.
#include "nxjbus/TraceFile.h"

#include <algorithm>
#include <cstdio>

namespace nxjbus {

TraceSummary Summarise(const Trace& trace) {
    TraceSummary s;
    s.requests = trace.exchanges.size();
    // Sessions appended to one file each have their own clock: time is counted within each.
    uint64_t sessionStart = 0, lastAnswer = 0, lastEvent = 0, total = 0;
    auto closeGap = [&](uint64_t until) {
        const double gapMs = static_cast<double>(until - lastAnswer) / 1000.0;
        if (until > lastAnswer && gapMs > s.longestSilenceMs) {
            s.longestSilenceMs = gapMs;
            s.longestSilenceAtMs = static_cast<double>(lastAnswer) / 1000.0;
        }
    };
    for (const Exchange& e : trace.exchanges) {
        if (e.sessionStart || e.sentUs < lastEvent) {
            total += lastEvent - sessionStart;
            sessionStart = lastAnswer = lastEvent = e.sentUs;
        }
        const AnswerKind kind = ClassifyAnswer(e);
        ++s.byKind[static_cast<int>(kind)];
        if (kind == AnswerKind::Exception)
            ++s.exceptionsByCode[e.answer[2]];
        lastEvent = std::max(lastEvent, e.answered ? e.answerUs : e.sentUs);
        if (e.answered)
            s.latencyMs.push_back(static_cast<double>(e.answerUs - std::min(e.answerUs, e.sentUs)) / 1000.0);
        if (kind == AnswerKind::Good || kind == AnswerKind::Exception) {
            closeGap(e.answerUs);
            lastAnswer = e.answerUs;
        }
    }
    if (!trace.exchanges.empty()) {
        lastEvent = std::max(lastEvent, trace.lastUs);
        closeGap(lastEvent); // a trace that ends in silence
        total += lastEvent - sessionStart;
    }
    s.seconds = static_cast<double>(total) / 1e6;
    s.requestsPerSecond = s.seconds > 0 ? static_cast<double>(s.requests) / s.seconds : 0;
    std::sort(s.latencyMs.begin(), s.latencyMs.end());
    return s;
}

std::string FormatSummary(const TraceSummary& s, const std::string& port) {
    std::string out;
    char line[160];
    auto add = [&](const char* format, auto... args) {
        std::snprintf(line, sizeof line, format, args...);
        out += line;
    };
    add("port %s: %zu requests in %.1f s, %.2f per second\n", port.c_str(), s.requests, s.seconds,
        s.requestsPerSecond);
    out += "answers:";
    for (int k = 0; k < 6; ++k)
        if (s.byKind[k] != 0 || k == static_cast<int>(AnswerKind::Good)) {
            add(" %s %zu", AnswerKindName(static_cast<AnswerKind>(k)), s.byKind[k]);
            out += ",";
        }
    out.back() = '\n';
    for (int code = 0; code < 256; ++code)
        if (s.exceptionsByCode[code] != 0)
            add("  exception code %d: %zu\n", code, s.exceptionsByCode[code]);
    if (!s.latencyMs.empty()) {
        auto at = [&](double q) {
            return s.latencyMs[static_cast<size_t>(q * (s.latencyMs.size() - 1) + 0.5)];
        };
        add("answer time ms: min %.1f, median %.1f, 90%% %.1f, 99%% %.1f, max %.1f\n", s.latencyMs.front(),
            at(0.5), at(0.9), at(0.99), s.latencyMs.back());
        const double edges[] = {10, 20, 50, 100, 200, 500, 1000};
        out += "  ";
        double low = 0;
        for (double edge : edges) {
            const auto n = std::lower_bound(s.latencyMs.begin(), s.latencyMs.end(), edge) -
                           std::lower_bound(s.latencyMs.begin(), s.latencyMs.end(), low);
            add("%g-%g: %td  ", low, edge, n);
            low = edge;
        }
        add(">=%g: %td\n", low,
            s.latencyMs.end() - std::lower_bound(s.latencyMs.begin(), s.latencyMs.end(), low));
    }
    add("longest silence: %.1f ms from %.3f s\n", s.longestSilenceMs, s.longestSilenceAtMs / 1000.0);
    return out;
}

} // namespace nxjbus
