// The unit link over a real serial line under Wine: Nxjbus.dll on a COM port mapped to a pseudo-
// terminal, the emulator's serial front end on the other end. Every register operation once, and the
// time of one polling round against the wire time of its frames.
#include "link/JbusV1.h"
#include "link/JbusV2.h"
#include "nxjbus/Nxjbus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace unitlink;

namespace {

std::string Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

BusApi RealBus() {
    BusApi bus;
    bus.open = &JbusOpen;
    bus.close = &JbusClose;
    bus.readSeveralWords = &JbusReadSeveralWords;
    bus.writeOneWord = &JbusWriteOneWord;
    bus.writeSeveralWords = &JbusWriteSeveralWords;
    return bus;
}

class LinkLine : public ::testing::Test {
protected:
    void SetUp() override {
        baud = std::atoi(Env("LINK_TEST_BAUD", "19200").c_str());
        const int protocol = std::atoi(Env("LINK_TEST_PROTOCOL", "2").c_str());
        if (protocol == 1)
            link = std::make_unique<CJbusV1>(RealBus(), latch);
        else
            link = std::make_unique<CJbusV2>(RealBus(), latch);
        ASSERT_TRUE(link->Open(Env("LINK_TEST_PORT", "COM5").c_str(), baud));
    }
    ErrorLatch latch;
    std::unique_ptr<CJbus> link;
    int baud = 19200;
};

TEST_F(LinkLine, EveryRegisterOperationOnce) {
    IdentificationBlock id;
    ASSERT_TRUE(link->ReadIdentification(&id));
    EXPECT_FALSE(id.VersionText().empty());
    uint16_t word = 0;
    EXPECT_TRUE(link->ReadUnitState(&word));
    EXPECT_TRUE(link->ReadUnitError(&word));
    EXPECT_TRUE(link->ReadUnitConditions(&word));
    SelectionRecord selection;
    EXPECT_TRUE(link->ReadSelection(&selection));
    ShotResultRecord shot;
    EXPECT_TRUE(link->ReadShotResult(&shot));
    MeasurementRecord measurements;
    EXPECT_TRUE(link->ReadMeasurements(&measurements));
    EXPECT_TRUE(link->ReadCoolingTime(&word));
    EXPECT_TRUE(link->ReadGeneralCounter(&word));
    ImageLayoutRecord layout;
    EXPECT_TRUE(link->ReadImageLayout(&layout));
    LinkCounterRecord counters;
    EXPECT_TRUE(link->ReadLinkCounters(&counters));
    EXPECT_TRUE(link->ReadAcquisitionStatus(&word));
    EXPECT_TRUE(link->WriteCommand(0x0085)); // panel active: harmless

    // Blocks are written back exactly as read.
    FactorySettingsBlock factory;
    ASSERT_TRUE(link->ReadFactorySettings(&factory));
    EXPECT_TRUE(link->WriteFactorySettings(&factory));
    CalibrationTable calibration;
    ASSERT_TRUE(link->ReadCalibrationTable(&calibration));
    EXPECT_TRUE(link->WriteCalibrationTable(&calibration));
    PreferenceBlock preferences;
    ASSERT_TRUE(link->ReadPreferences(&preferences));
    EXPECT_TRUE(link->WritePreferences(&preferences));

    UnitTextArea text;
    EXPECT_TRUE(link->ReadUnitText(&text));
    EXPECT_TRUE(link->WriteUnitText(&text));
    DisplayCodeText code;
    EXPECT_TRUE(link->ReadDisplayCode(&code));
    EXPECT_TRUE(link->WriteDisplayCode(&code));
    CounterRecord unitCounters;
    EXPECT_TRUE(link->ReadUnitCounters(&unitCounters));
    uint32_t counter = 0;
    EXPECT_TRUE(link->ReadUnitCounter(&counter));
    EXPECT_EQ(counter, unitCounters.FirstCounter());
    text.bytes.fill(' ');
    text.bytes[39] = 0;
    EXPECT_TRUE(link->WriteHostText(&text));
    EXPECT_EQ(latch.GetLatchedError(), 0);
}

TEST_F(LinkLine, PollingRoundAgainstWireTime) {
    // State, error and conditions: one register each; the selection: 7 registers on protocol 1, 6 and
    // 1 on protocol 2. A read request is 8 bytes, its answer 5 + 2 per register.
    const bool v2 = link->GetProtocolVersion() == 2;
    const int requests = v2 ? 5 : 4;
    const int answerBytes = 3 * 7 + (v2 ? (5 + 12) + 7 : 5 + 14);
    const int frameBytes = requests * 8 + answerBytes;
    const double wireMs = frameBytes * 10.0 * 1000.0 / baud; // 8N1: 10 bits per byte

    constexpr int kRounds = 30;
    uint16_t word = 0;
    SelectionRecord selection;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        ASSERT_TRUE(link->ReadUnitState(&word));
        ASSERT_TRUE(link->ReadUnitError(&word));
        ASSERT_TRUE(link->ReadUnitConditions(&word));
        ASSERT_TRUE(link->ReadSelection(&selection));
    }
    const double roundMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kRounds;
    std::printf("polling round at %d baud: %.1f ms, wire time of its %d bytes %.1f ms, ratio %.2f\n", baud, roundMs,
                frameBytes, wireMs, roundMs / wireMs);
    RecordProperty("round_ms", std::to_string(roundMs));
    RecordProperty("wire_ms", std::to_string(wireMs));
    // The target is 1.5; the check leaves room for a loaded machine so it only catches real slowness.
    EXPECT_LT(roundMs, 3.0 * wireMs);
}

} // namespace
