// Reading a service trace back, and its summary on a session recorded against the emulator with faults
// (silence twice, damaged answers once and twice, a busy unit, a unit error, a slow answer).
#include "nxjbus/FrameTrace.h"
#include "nxjbus/JbusFrame.h"
#include "nxjbus/TraceFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace nxjbus::test {
namespace {

Exchange Make(std::vector<uint8_t> request, std::vector<uint8_t> answer, bool crc = true) {
    auto seal = [](std::vector<uint8_t>& f) {
        const uint16_t c = Crc16(f.data(), f.size());
        f.push_back(static_cast<uint8_t>(c & 0xFF));
        f.push_back(static_cast<uint8_t>(c >> 8));
    };
    seal(request);
    if (crc && !answer.empty())
        seal(answer);
    Exchange e;
    e.request = request;
    e.answered = !answer.empty();
    e.answer = answer;
    return e;
}

TEST(TraceFile, AnswersAreClassifiedAsTheMasterTakesThem) {
    const std::vector<uint8_t> read{1, 3, 0x70, 0x0F, 0, 1}, write{1, 6, 0x70, 0x40, 0, 9};
    const struct {
        Exchange exchange;
        AnswerKind kind;
    } rows[] = {
        {Make(read, {}), AnswerKind::Silence},
        {Make(read, {1, 3, 2, 0x12, 0x34}), AnswerKind::Good},
        {Make(write, {1, 6, 0x70, 0x40, 0, 8}), AnswerKind::BadFrame}, // echo differs
        {Make(read, {2, 3, 2, 0x12, 0x34}), AnswerKind::BadFrame},     // another slave
        {Make(read, {1, 0x83, 6}), AnswerKind::Exception},
        {Make(read, {1, 3, 2, 0x12, 0x34, 0xAA, 0xBB}, false), AnswerKind::BadCrc},
        {Make(read, {1, 3, 2, 0x12}, false), AnswerKind::CutShort},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ClassifyAnswer(row.exchange), row.kind) << AnswerKindName(row.kind);
}

TEST(TraceFile, RefusesWhatItCannotReadAndNamesTheLine) {
    const struct {
        const char* text;
        const char* error; // null: read
    } rows[] = {
        {"1.000 COM1 TX 01 03\n2.000 COM1 RX 01 03\n", nullptr}, // written before headers existed
        {"# lumen-jbus-trace 2 COM1\n1.000 COM1 TX 01\n", "line 1: trace format version 2"},
        {"# lumen-jbus-trace 1 COM1\n1.000 COM1 RX 01 03\n", "line 2: an answer without its request"},
        {"# lumen-jbus-trace 1 COM1\nnoise\n", "line 2: expected"},
    };
    for (const auto& row : rows) {
        std::istringstream in(row.text);
        Trace trace;
        std::string error;
        EXPECT_EQ(ReadTrace(in, trace, error), row.error == nullptr) << row.text;
        if (row.error) {
            EXPECT_EQ(error.find(row.error), 0u) << error;
        }
    }
}

TEST(TraceFile, SummaryOfARecordedSession) {
    std::ifstream in(LUMEN_TRACE_DATA "/recorded-session.trace");
    Trace trace;
    std::string error;
    ASSERT_TRUE(ReadTrace(in, trace, error)) << error;

    const TraceSummary s = Summarise(trace);
    EXPECT_EQ(s.requests, 13u);
    EXPECT_EQ(s.byKind[static_cast<int>(AnswerKind::Good)], 7u);
    EXPECT_EQ(s.byKind[static_cast<int>(AnswerKind::Silence)], 2u);
    EXPECT_EQ(s.byKind[static_cast<int>(AnswerKind::BadCrc)], 3u);
    ASSERT_EQ(s.latencyMs.size(), 11u);
    EXPECT_NEAR(s.latencyMs.back(), 401.925, 1e-6); // the slow answer
    // From the answer before the slow one to the slow one itself.
    EXPECT_NEAR(s.longestSilenceMs, 402.313, 1e-6);
    EXPECT_NEAR(s.longestSilenceAtMs, 12828933.794, 1e-6);

    const std::string text = FormatSummary(s, trace.port);
    for (const char* part : {"13 requests in 0.4 s, 30.78 per second",
                             "answers: no answer 2, good 7, exception 1, bad CRC 3\n", "exception code 6: 1",
                             "200-500: 1"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
}

} // namespace
} // namespace nxjbus::test
