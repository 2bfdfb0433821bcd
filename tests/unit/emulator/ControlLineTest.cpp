// Scenario-control lines: parsing, refusals, and their effect on the unit.
#include "emulator/ControlLine.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

class ControlLineTest : public ::testing::Test {
protected:
    emu::ControlResult Run(const char* line) { return emu::ExecuteControlLine(unit, line); }
    uint16_t Word(uint16_t byteOffset) {
        uint16_t w = 0;
        EXPECT_EQ(unit.ReadRegisters(static_cast<uint16_t>(0x7000 + byteOffset / 2), 1, &w), 0);
        return w;
    }

    emu::ManualClock clock;
    emu::UnitModel unit{clock};
};

TEST_F(ControlLineTest, MalformedLinesAreRefusedWithoutEffect) {
    for (const char* line :
         {"frobnicate", "error", "error -1", "error 70000", "error 12x", "wait soon", "fault exception 0 1",
          "fault exception 12 1", "fault noanswer 0", "fault slow 10", "technical maybe", "expose -5",
          "speed 2", "corrupt everything", "status now"}) {
        const auto result = Run(line);
        EXPECT_FALSE(result.ok) << line;
        EXPECT_EQ(result.reply.rfind("error:", 0), 0u) << line;
    }
    EXPECT_EQ(unit.ErrorCode(), 0);
    EXPECT_TRUE(Run("").ok);
    EXPECT_TRUE(Run("  # a comment").ok);
}

TEST_F(ControlLineTest, ScenarioInputsReachTheRegisters) {
    // Each line, then the register (byte offset) that shows it; later lines build on earlier ones.
    const std::tuple<const char*, uint16_t, uint16_t> lines[] = {
        {"ERROR 0x0C", 32, 12},       {"error 0", 32, 0},        {"conditions 0x8004", 34, 0x8004},
        {"technical on", 30, 0x0A00}, {"voice off", 30, 0x0800}, {"wait 90", 86, 90},
        {"advance 30000", 86, 60},    {"wait none", 86, 65535},  {"command 0x0304", 42, 0x03}};
    for (const auto& [line, offset, value] : lines) {
        EXPECT_TRUE(Run(line).ok) << line;
        EXPECT_EQ(Word(offset), value) << line;
    }
    EXPECT_EQ(Run("command 0x00FF").reply, "ok refused with exception 3");
    EXPECT_TRUE(Run("port missing").ok);
    EXPECT_TRUE(unit.PortMissing());
}

TEST_F(ControlLineTest, TimedExposureAndStatus) {
    EXPECT_FALSE(Run("expose").ok) << "panel not active";
    EXPECT_TRUE(Run("panel on").ok);
    EXPECT_TRUE(Run("expose 1000").ok); // released during preparation
    EXPECT_TRUE(Run("advance 1000").ok);
    EXPECT_EQ(unit.CycleStateNow(), emu::kCycleAbortPreparation);
    const auto status = Run("status");
    EXPECT_TRUE(status.ok);
    EXPECT_NE(status.reply.find("cycle=4"), std::string::npos) << status.reply;
    EXPECT_NE(status.reply.find("program=0x70"), std::string::npos) << status.reply;
}

TEST_F(ControlLineTest, FaultsAreArmedForTheirRequestCount) {
    EXPECT_TRUE(Run("fault slow 250 2").ok);
    for (int request = 0; request < 2; ++request) {
        const auto slow = unit.TakeLinkFault();
        EXPECT_EQ(slow.kind, emu::FaultKind::Slow);
        EXPECT_EQ(slow.delayMs, 250u);
    }
    EXPECT_EQ(unit.TakeLinkFault().kind, emu::FaultKind::None);
    EXPECT_TRUE(Run("fault badcrc 3").ok);
    EXPECT_TRUE(Run("fault none").ok);
    EXPECT_EQ(unit.TakeLinkFault().kind, emu::FaultKind::None);
}

} // namespace
