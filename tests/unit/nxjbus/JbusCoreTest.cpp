// The JBUS core against frames computed outside this code (Modbus documents and a separately derived
// CRC) and a scripted line that misbehaves on request.
#include "FakeLine.h"

#include "nxjbus/JbusFrame.h"
#include "nxjbus/JbusMaster.h"
#include "nxjbus/PortTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

namespace nxjbus::test {
namespace {

Bytes FrameBytes(const Frame& f) {
    return Bytes(f.bytes.begin(), f.bytes.begin() + f.size);
}

Bytes WithCrc(Bytes frame) {
    uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// The answer to a read of 125 words whose value is their index.
Bytes LongReadAnswer() {
    Bytes frame = {1, kReadHoldingRegisters, 2 * kMaxReadCount};
    for (uint16_t i = 0; i < kMaxReadCount; ++i) {
        frame.push_back(0);
        frame.push_back(static_cast<uint8_t>(i));
    }
    return WithCrc(frame);
}

TEST(JbusFrame, CrcMatchesPublishedValues) {
    const char check[] = "123456789"; // CRC catalogue check value of CRC-16/MODBUS
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check), 9), 0x4B37);
    Bytes docExample = Hex("11 03 00 6B 00 03"); // Modbus RTU example request, CRC 76 87 on the wire
    EXPECT_EQ(Crc16(docExample.data(), docExample.size()), 0x8776);
}

TEST(JbusFrame, RequestsMatchIndependentFramesAndRefuseWhatNoFrameCanCarry) {
    Frame f;
    ASSERT_TRUE(BuildReadRequest(f, 1, 0x700F, 1));
    EXPECT_EQ(FrameBytes(f), Hex("01 03 70 0F 00 01 AE C9"));
    ASSERT_TRUE(BuildWriteOneRequest(f, 1, 0x7040, 0x0081));
    EXPECT_EQ(FrameBytes(f), Hex("01 06 70 40 00 81 52 BE"));
    const uint16_t words[] = {0x000A, 0x0102};
    ASSERT_TRUE(BuildWriteSeveralRequest(f, 1, 0x7041, 2, words));
    EXPECT_EQ(FrameBytes(f), Hex("01 10 70 41 00 02 04 00 0A 01 02 F3 C2"));

    uint16_t many[kMaxWriteCount + 1] = {};
    f.size = 0;
    EXPECT_FALSE(BuildReadRequest(f, 1, 0, 0) || BuildReadRequest(f, 1, 0, kMaxReadCount + 1) ||
                 BuildReadRequest(f, kBroadcastSlave, 0, 1) || BuildWriteSeveralRequest(f, 1, 0, 0, many) ||
                 BuildWriteSeveralRequest(f, 1, 0, kMaxWriteCount + 1, many) ||
                 BuildWriteSeveralRequest(f, 1, 0, 2, nullptr));
    EXPECT_EQ(f.size, 0u);
    ASSERT_TRUE(BuildWriteSeveralRequest(f, 1, 0, kMaxWriteCount, many));
    EXPECT_EQ(f.size, 9u + 2 * kMaxWriteCount); // the longest request still fits one RTU frame
}

TEST(JbusFrame, TimingFollowsBaudRateWithFloor) {
    EXPECT_EQ(TimingForBaud(9600).silentUs, 3647u); // 3.5 characters of 10 bits
    EXPECT_EQ(TimingForBaud(38400).silentUs, kSilentFloorUs);
    // The longest call of the README's bus section: a 125-word read (or 123-word write), a one-word write.
    const struct {
        uint32_t baud;
        uint64_t longMs, shortMs;
    } bounds[] = {{9600, 1733, 702}, {38400, 706, 449}, {115200, 478, 393}};
    for (const auto& b : bounds) {
        LineTiming t = TimingForBaud(b.baud);
        EXPECT_EQ((t.LongestCallUs(8, 255) + 999) / 1000, b.longMs) << b.baud;
        EXPECT_EQ((t.LongestCallUs(9 + 2 * kMaxWriteCount, 8) + 999) / 1000, b.longMs) << b.baud;
        EXPECT_EQ((t.LongestCallUs(8, 8) + 999) / 1000, b.shortMs) << b.baud;
    }
}

class MasterTest : public ::testing::Test {
protected:
    MasterTest() { UseBaud(19200); }
    void UseBaud(uint32_t baud) {
        auto line = std::make_unique<FakeLine>(baud);
        m_line = line.get();
        m_master = std::make_unique<Master>(std::move(line), baud);
    }
    FakeLine& Line() { return *m_line; }
    Master& Bus() { return *m_master; }

private:
    FakeLine* m_line;
    std::unique_ptr<Master> m_master;
};

TEST_F(MasterTest, BroadcastWaitsForNoAnswer) {
    EXPECT_EQ(Bus().WriteOneWord(0, 0x7040, 9), JBUS_OK);
    EXPECT_EQ(Line().requests.size(), 1u);
}

// One faulty answer (or silence) to a one-word read of 0x700F, and what the master must make of it.
struct FaultCase {
    const char* name;
    std::vector<Answer> answers;
    int result;
    size_t requestsSent;
};

const Answer kGood = {{2, Hex("01 03 02 12 34 B5 33")}};
const Answer kSilent = {};
const Answer kBadCrc = {{2, Hex("01 03 02 12 34 B5 34")}};
const Answer kTruncated = {{2, Hex("01 03 02 12")}};
// Just after the first attempt's timeout: it must not be taken for the retry's answer.
const Answer kLate = {{TimingForBaud(19200).ResponseTimeoutMs(8, 7) + 1, Hex("01 03 02 99 99 00 00")}};

class MasterFaults : public MasterTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(MasterFaults, GiveTheirResultAndLeaveTheBufferAlone) {
    for (const Answer& a : GetParam().answers)
        Line().answers.push_back(a);
    uint16_t out = 0xBEEF;
    uint64_t start = Line().nowUs;
    EXPECT_EQ(Bus().ReadSeveralWords(1, 0x700F, 1, &out), GetParam().result);
    EXPECT_LE(Line().nowUs - start, Bus().Timing().LongestCallUs(8, 7));
    EXPECT_EQ(Line().requests.size(), GetParam().requestsSent);
    if (GetParam().result == JBUS_OK)
        EXPECT_EQ(out, 0x1234);
    else
        EXPECT_EQ(out, 0xBEEF);
    // Every attempt sends the very same request.
    for (const Bytes& r : Line().requests)
        EXPECT_EQ(r, Hex("01 03 70 0F 00 01 AE C9"));
}

// A header byte that does not fit (slave, function, byte count) is final when the frame checks out,
// and line noise like any bad CRC when it does not.
INSTANTIATE_TEST_SUITE_P(
    Answers, MasterFaults,
    ::testing::Values(
        FaultCase{"InPieces", {{{5, Hex("01")}, {8, Hex("03 02 12")}, {20, Hex("34 B5 33")}}}, JBUS_OK, 1},
        FaultCase{"LateThenGood", {kLate, kGood}, JBUS_OK, 2},
        // Noise for another slave that goes on after a pause must not leak into the retry's answer.
        FaultCase{
            "NoiseDrainedThenGood", {{{2, Hex("07 03 02 12 34")}, {15, Hex("55 66")}}, kGood}, JBUS_OK, 2},
        FaultCase{"NoAnswerTwice", {kSilent, kSilent}, JBUS_ERROR_NO_ANSWER, 2},
        FaultCase{"NoAnswerThenGood", {kSilent, kGood}, JBUS_OK, 2},
        FaultCase{"BadCrcTwice", {kBadCrc, kBadCrc}, JBUS_ERROR_BAD_FRAME, 2},
        FaultCase{"BadCrcThenGood", {kBadCrc, kGood}, JBUS_OK, 2},
        FaultCase{"TruncatedThenGood", {kTruncated, kGood}, JBUS_OK, 2},
        FaultCase{"WrongSlave", {{{2, WithCrc(Hex("02 03 02 12 34"))}}, kGood}, JBUS_ERROR_BAD_FRAME, 1},
        FaultCase{"WrongSlaveDamaged", {{{2, Hex("02 03 02 12 34 B5 33")}}, kGood}, JBUS_OK, 2},
        FaultCase{"WrongFunction", {{{2, WithCrc(Hex("01 04 02 12 34"))}}, kGood}, JBUS_ERROR_BAD_FRAME, 1},
        FaultCase{"IllegalAddress", {{{2, Hex("01 83 02 C0 F1")}}}, JBUS_EXCEPTION_ILLEGAL_ADDRESS, 1},
        FaultCase{"ExceptionBadCrc",
                  {{{2, Hex("01 83 02 C0 F2")}}, {{2, Hex("01 83 02 C0 F2")}}},
                  JBUS_ERROR_BAD_FRAME,
                  2},
        FaultCase{"ExceptionForOtherFunction", {{{2, Hex("01 90 03 0C 01")}}}, JBUS_ERROR_BAD_FRAME, 1},
        FaultCase{"ExceptionCodeUnknown", {{{2, Hex("01 83 00 41 30")}}}, JBUS_ERROR_BAD_FRAME, 1},
        FaultCase{"AnnouncedLengthTooLong",
                  {{{2, Hex("01 03 FF 00 01 02 03 04 05 06 07 08 09 0A")}}, kGood},
                  JBUS_OK,
                  2},
        FaultCase{
            "ByteCountForTwoWords", {{{2, Hex("01 03 04 00 01 00 02 2A 32")}}}, JBUS_ERROR_BAD_FRAME, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MasterTest, WriteEchoMustMatchUnlessTheFrameIsDamaged) {
    // A well-formed echo of another address is the unit's answer: final, no retry.
    Line().answers.push_back({{2, Hex("01 06 70 41 00 81 03 7E")}});
    EXPECT_EQ(Bus().WriteOneWord(1, 0x7040, 0x0081), JBUS_ERROR_BAD_FRAME);
    EXPECT_EQ(Line().requests.size(), 1u);
    // A damaged echo (bad CRC as well) is line noise and gets the retry.
    Line().answers.push_back({{2, Hex("01 06 70 41 00 81 00 00")}});
    Line().answers.push_back({{2, Hex("01 06 70 40 00 81 52 BE")}});
    EXPECT_EQ(Bus().WriteOneWord(1, 0x7040, 0x0081), JBUS_OK);
    EXPECT_EQ(Line().requests.size(), 3u);
}

TEST_F(MasterTest, PortFailuresAreFinalAndBadArgumentsSendNothing) {
    Line().failWrite = true;
    EXPECT_EQ(Bus().WriteOneWord(1, 0x7040, 1), JBUS_ERROR_PORT);
    EXPECT_EQ(Line().requests.size(), 1u);
    Line().failWrite = false;
    Line().failRead = true;
    uint16_t out = 0xBEEF;
    EXPECT_EQ(Bus().ReadSeveralWords(1, 0x700F, 1, &out), JBUS_ERROR_PORT);
    EXPECT_EQ(out, 0xBEEF);
    EXPECT_EQ(Line().requests.size(), 2u);
    // Bad arguments never reach the line.
    uint16_t many[kMaxReadCount + 1];
    EXPECT_EQ(Bus().ReadSeveralWords(1, 0, 1, nullptr), JBUS_ERROR_BAD_FRAME);
    EXPECT_EQ(Bus().ReadSeveralWords(1, 0, kMaxReadCount + 1, many), JBUS_ERROR_BAD_FRAME);
    EXPECT_EQ(Line().requests.size(), 2u);
}

// The slow rates, where a character takes about a millisecond.
class MasterAtSlowRate : public MasterTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    MasterAtSlowRate() { UseBaud(GetParam()); }
    const LineTiming t = TimingForBaud(GetParam());
};
INSTANTIATE_TEST_SUITE_P(Bauds, MasterAtSlowRate, ::testing::Values(9600u, 19200u, 38400u));

// Bytes at line rate, with or without a pause at every stage edge of the answer (after the slave, the
// function and the byte count).
TEST_P(MasterAtSlowRate, PausesAtStageEdgesGetTheGapAllowance) {
    for (uint64_t pauseUs : {uint64_t{0}, uint64_t{1000}, uint64_t{t.interByteMs - 1} * 1000}) {
        SCOPED_TRACE(testing::Message() << "pause " << pauseUs << " us");
        UseBaud(GetParam());
        auto answer = [&](const Bytes& frame) { // at line rate from 5 ms, pausing at the edges
            Answer paced;
            for (size_t i = 0; i < frame.size(); ++i)
                paced.push_back({5, {frame[i]}, i * t.charUs + std::min<size_t>(i, 3) * pauseUs});
            Line().answers.push_back(paced);
        };
        uint16_t two[2] = {};
        answer(Hex("01 03 04 00 01 00 02 2A 32"));
        EXPECT_EQ(Bus().ReadSeveralWords(1, 0x7000, 2, two), JBUS_OK);
        EXPECT_EQ(two[1], 2);
        uint16_t many[kMaxReadCount] = {};
        answer(LongReadAnswer());
        EXPECT_EQ(Bus().ReadSeveralWords(1, 0x7000, kMaxReadCount, many), JBUS_OK);
        EXPECT_EQ(many[kMaxReadCount - 1], kMaxReadCount - 1);
        answer(Hex("01 06 70 40 00 81 52 BE"));
        EXPECT_EQ(Bus().WriteOneWord(1, 0x7040, 0x0081), JBUS_OK);
        answer(Hex("01 10 70 41 00 02 0B 1C"));
        EXPECT_EQ(Bus().WriteSeveralWords(1, 0x7041, 2, two), JBUS_OK);
        answer(Hex("01 83 02 C0 F1"));
        EXPECT_EQ(Bus().ReadSeveralWords(1, 0x7000, 2, two), JBUS_EXCEPTION_ILLEGAL_ADDRESS);
        EXPECT_EQ(Line().requests.size(), 5u); // none of them needed the retry
    }
}

// A valid long answer whose data bytes each come just inside the allowance for what is still missing.
TEST_P(MasterAtSlowRate, TrickledAnswerEndsWithinTheCallBound) {
    const Bytes frame = LongReadAnswer();
    Answer trickle = {{5, Bytes(frame.begin(), frame.begin() + 4)}};
    uint64_t atUs = 0;
    for (size_t i = 4; i < frame.size(); ++i) {
        atUs += 1000ull * (t.interByteMs - 1) + t.WireUs(frame.size() - i);
        trickle.push_back({5, {frame[i]}, atUs});
    }
    Line().answers = {trickle, trickle};
    uint16_t out[kMaxReadCount] = {};
    const uint64_t start = Line().nowUs;
    const int result = Bus().ReadSeveralWords(1, 0x7000, kMaxReadCount, out);
    EXPECT_LE(Line().nowUs - start, t.LongestCallUs(8, frame.size()));
    if (result == JBUS_OK)
        EXPECT_EQ(out[kMaxReadCount - 1], kMaxReadCount - 1);
    else
        EXPECT_TRUE(result == JBUS_ERROR_NO_ANSWER || result == JBUS_ERROR_BAD_FRAME) << result;
}

// Answers that end while the request is still going out, noise, silence, cut answers: whatever ended
// the last attempt, the next frame waits the silent interval after the last byte on the wire.
TEST_P(MasterAtSlowRate, SilentIntervalCountsFromTheLastByteOnTheWire) {
    uint16_t words[kMaxWriteCount] = {};
    Line().answers = {{{0, Hex("01 06 70 40 00 81 52 BE")}}, // an echo faster than the request
                      {{0, Hex("01 06 70 40 00 81 52 BE")}},
                      {{0, Hex("07 10 70 41 00 7B 00 00")}}, // noise under a long request
                      {{1, Hex("01 10 70 41 00 7B 00 00")}},
                      kSilent,
                      kTruncated,
                      kGood};
    EXPECT_EQ(Bus().WriteOneWord(1, 0x7040, 0x0081), JBUS_OK);
    EXPECT_EQ(Bus().WriteOneWord(1, 0x7040, 0x0081), JBUS_OK);
    EXPECT_EQ(Bus().WriteSeveralWords(1, 0x7041, kMaxWriteCount, words), JBUS_ERROR_BAD_FRAME);
    EXPECT_EQ(Bus().ReadSeveralWords(1, 0x700F, 1, words), JBUS_ERROR_BAD_FRAME);
    EXPECT_EQ(Bus().ReadSeveralWords(1, 0x700F, 1, words), JBUS_OK);
    ASSERT_EQ(Line().silenceBeforeUs.size(), 6u);
    for (uint64_t quietUs : Line().silenceBeforeUs)
        EXPECT_GE(quietUs, Bus().Timing().silentUs);
}

TEST_F(MasterTest, ThreadsSharingAPortEachGetTheirOwnAnswer) {
    // The unit answers a one-word read with the word's own address, so a crossed answer shows.
    Line().responder = [](const Bytes& r) { return Answer{{1, WithCrc({r[0], 0x03, 2, r[2], r[3]})}}; };
    auto worker = [this](uint16_t base, int* mismatches) {
        for (uint16_t i = 0; i < 200; ++i) {
            uint16_t out = 0;
            if (Bus().ReadSeveralWords(1, static_cast<uint16_t>(base + i), 1, &out) != JBUS_OK ||
                out != base + i)
                ++*mismatches;
        }
    };
    int mismatchesA = 0, mismatchesB = 0;
    std::thread a(worker, 0x1000, &mismatchesA);
    std::thread b(worker, 0x2000, &mismatchesB);
    a.join();
    b.join();
    EXPECT_EQ(mismatchesA, 0);
    EXPECT_EQ(mismatchesB, 0);
    EXPECT_EQ(Line().requests.size(), 400u);
}

// The refusals the DLL gives are checked under Wine; here what the accepted texts become.
TEST(JbusOpenArguments, BaudAndPortTexts) {
    EXPECT_EQ(ParseBaud("0"), 19200u);
    EXPECT_EQ(ParseBaud("115200"), 115200u);
    EXPECT_FALSE(ParseBaud("019200") || ParseBaud("19200 "));
    EXPECT_EQ(ParsePortName("com12"), "\\\\.\\COM12");
    EXPECT_EQ(ParsePortName("\\\\.\\COM255"), "\\\\.\\COM255");
    EXPECT_FALSE(ParsePortName("COM01") || ParsePortName("COM1:") || ParsePortName("COM 1"));
}

TEST(JbusPortTable, HandlesAreNeverReusedAndAPortOutlivesCloseWhileInUse) {
    PortTable table;
    auto master = [] { return std::make_shared<Master>(std::make_unique<FakeLine>(), 19200); };
    int first = table.Add(master());
    int second = table.Add(master());
    EXPECT_NE(first, second);
    auto inUse = table.Find(first);
    EXPECT_TRUE(table.Remove(first));
    EXPECT_FALSE(table.Remove(first));
    EXPECT_EQ(table.Find(first), nullptr);
    EXPECT_NE(table.Add(master()), first);
    EXPECT_EQ(table.Size(), 2u);
    uint16_t out;
    EXPECT_EQ(inUse->ReadSeveralWords(1, 0, 1, &out), JBUS_ERROR_NO_ANSWER); // still a valid object
}

TEST(JbusFrameTrace, WritesEachFrameAsHex) {
    std::string path = ::testing::TempDir() + "nxjbus_trace.txt";
    std::remove(path.c_str());
    auto line = std::make_unique<FakeLine>();
    line->answers.push_back(kBadCrc);
    line->answers.push_back(kGood);
    Master bus(std::move(line), 19200, FrameTrace::Open(path.c_str(), "COM3"));
    uint16_t out;
    ASSERT_EQ(bus.ReadSeveralWords(1, 0x700F, 1, &out), JBUS_OK);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text.rfind("# lumen-jbus-trace 1 COM3\n", 0), 0u) << text;
    for (const char* part :
         {"COM3 TX 01 03 70 0F 00 01 AE C9", "RX 01 03 02 12 34 B5 34", "bad CRC", "RX 01 03 02 12 34 B5 33"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    EXPECT_EQ(FrameTrace::Open("", "COM3"), nullptr);
}

} // namespace
} // namespace nxjbus::test
