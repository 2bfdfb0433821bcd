// Unit model: register layouts of both versions, steps and limits, cycle timeline, calibrations, blocks.
#include "emulator/UnitModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using emu::UnitModel;

// Byte offset from the register base -> bus word address.
constexpr uint16_t At(uint16_t byteOffset) {
    return static_cast<uint16_t>(0x7000 + byteOffset / 2);
}

float FloatOf(const std::vector<uint16_t>& w, size_t index) {
    const uint32_t bits = w[index] | (static_cast<uint32_t>(w[index + 1]) << 16);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// The module's re-packing of a protocol-1 conditions word, as the register map documents it.
uint16_t Repack(uint16_t raw) {
    return static_cast<uint16_t>((raw & 0x000F) | ((raw & 0x0060) >> 1) | ((raw & 0x0300) >> 2) |
                                 ((raw & 0x7000) << 1));
}

class UnitTest : public ::testing::Test {
protected:
    explicit UnitTest(const char* version = "2.10") : unit(clock, version) {}

    std::vector<uint16_t> Read(uint16_t byteOffset, uint16_t count) {
        std::vector<uint16_t> w(count, 0xDEAD);
        EXPECT_EQ(unit.ReadRegisters(At(byteOffset), count, w.data()), 0) << "offset " << byteOffset;
        return w;
    }
    uint16_t Word(uint16_t byteOffset) { return Read(byteOffset, 1)[0]; }
    int Command(uint16_t word) { return unit.WriteRegisters(At(128), 1, &word); }
    void Advance(uint64_t ms) { clock.Skip(ms); }
    uint16_t CycleState() { return (Word(30) >> 2) & 15; }
    // Exposes with the switch held to the end, then waits until the unit is ready again.
    void FullExposure() {
        ASSERT_TRUE(unit.Expose(std::nullopt));
        Advance(1500 + unit.Current().timeHundredths * 10ull);
        ASSERT_EQ(CycleState(), 0);
        Advance(Word(86) * 1000ull);
    }

    emu::ManualClock clock;
    UnitModel unit;
};

class UnitV1Test : public UnitTest {
protected:
    UnitV1Test() : UnitTest("1.02") {}
};

TEST(UnitVersion, VersionTextChoosesTheProtocol) {
    emu::ManualClock clock;
    EXPECT_EQ(UnitModel(clock, "1.02").ProtocolVersion(), 1);
    EXPECT_EQ(UnitModel(clock, "0.99").ProtocolVersion(), 1);
    EXPECT_EQ(UnitModel(clock, "2.10").ProtocolVersion(), 2);
    EXPECT_EQ(UnitModel(clock, "3.05").ProtocolVersion(), 2);
    EXPECT_EQ(UnitModel(clock, "4.00").ProtocolVersion(), 1);
    // The identification field holds five characters and its terminator.
    EXPECT_FALSE(UnitModel::IsValidVersion("2.1000"));
    EXPECT_TRUE(UnitModel::IsValidVersion("10.25"));
    EXPECT_FALSE(UnitModel::IsValidVersion("10.250"));
    EXPECT_FALSE(UnitModel::IsValidVersion("v2"));
}

TEST_F(UnitTest, IdentificationAndVersion2Layout) {
    const auto id = Read(0, 15);
    char text[31];
    for (int i = 0; i < 15; ++i) {
        text[2 * i] = static_cast<char>(id[i] & 0xFF);
        text[2 * i + 1] = static_cast<char>(id[i] >> 8);
    }
    EXPECT_STREQ(text + 12, "2.10");
    EXPECT_STREQ(text, "LUMEN 70");

    const auto sel = Read(36, 6);
    EXPECT_EQ(sel[0], 70);   // kV
    EXPECT_EQ(sel[3], 0x70); // full panoramic, high byte 0
    EXPECT_EQ(sel[4], 1);    // adult
    EXPECT_EQ(sel[5], 1);    // normal build
    EXPECT_EQ(Word(92), 1);  // NOX: acquisition on

    const auto shot = Read(48, 11);
    EXPECT_EQ(shot[1], 100);  // mA x 10
    EXPECT_EQ(shot[3], 1420); // scan time x 100
    EXPECT_EQ(shot[6], 0);    // dose kind 0
    EXPECT_GT(FloatOf(shot, 4), 0.0f);
    EXPECT_GT(FloatOf(shot, 7), FloatOf(shot, 9)); // dose-area product above the receptor kerma here

    const auto layout = Read(94, 4);
    EXPECT_EQ(layout[0], 1);
    EXPECT_EQ(layout[2], 1);
    EXPECT_EQ(layout[3], 2588);
    EXPECT_EQ(Word(90), 0); // no acquisition yet
}

TEST_F(UnitTest, UnmappedAndOversizedRequestsAreRefused) {
    uint16_t w[130];
    EXPECT_EQ(unit.ReadRegisters(At(120), 1, w), emu::kIllegalAddress);
    EXPECT_EQ(unit.ReadRegisters(At(118), 2, w), emu::kIllegalAddress); // runs into the gap
    EXPECT_EQ(unit.ReadRegisters(At(326), 1, w), emu::kIllegalAddress);
    EXPECT_EQ(unit.ReadRegisters(0x0000, 1, w), emu::kIllegalAddress);
    EXPECT_EQ(unit.ReadRegisters(0x680E, 1, w), emu::kIllegalAddress);
    EXPECT_EQ(unit.ReadRegisters(At(0), 126, w), emu::kIllegalValue);
    EXPECT_EQ(unit.ReadRegisters(At(0), 0, w), emu::kIllegalValue);
    const uint16_t value = 1;
    EXPECT_EQ(unit.WriteRegisters(At(30), 1, &value), emu::kIllegalAddress); // state word is read-only
    EXPECT_EQ(unit.WriteRegisters(0x6809, 1, &value), emu::kIllegalAddress);
    // Host text: protocol 2 address; protocol 1's starts one word later and is not the same area.
    std::vector<uint16_t> text(20, 0x2020);
    EXPECT_EQ(unit.WriteRegisters(0x6817, 20, text.data()), 0);
    EXPECT_EQ(unit.WriteRegisters(0x6818, 20, text.data()), emu::kIllegalAddress);
    EXPECT_EQ(Command(0x00FF), emu::kIllegalValue);
}

TEST_F(UnitV1Test, Version1Layout) {
    const auto sel = Read(36, 7);
    EXPECT_EQ(sel[3], 0x70);
    EXPECT_EQ(sel[6], 1); // NOX in the seventh word
    const auto shot = Read(50, 5);
    EXPECT_EQ(shot[0], 70);
    EXPECT_EQ(shot[3], 1420);
    EXPECT_EQ(shot[4], 0);
    EXPECT_EQ(Read(80, 4)[3], 2588);
    uint16_t w[20];
    EXPECT_EQ(unit.ReadRegisters(At(106), 1, w), emu::kIllegalAddress);
    EXPECT_EQ(unit.ReadRegisters(0x6818, 20, w), 0);
    EXPECT_EQ(unit.ReadRegisters(0x6817, 20, w), emu::kIllegalAddress);
}

TEST_F(UnitV1Test, ConditionsAreDeliveredInTheRawLayout) {
    unit.SetConditions(0xE0FF); // every bit protocol 1 can carry
    EXPECT_EQ(Repack(Word(34)), 0xE0FF);
    unit.SetConditions(0x0204); // bit 9 has no protocol-1 place
    EXPECT_EQ(Repack(Word(34)), 0x0004);
    unit.SetConditionsRawV1(0xFFFF);
    EXPECT_EQ(Word(34), 0xFFFF);
    unit.SetConditionsRawV1(0x0010);
    EXPECT_EQ(Repack(Word(34)), 0);
}

TEST_F(UnitTest, KeysStepWithinTheProgramsLimits) {
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(Command(0x0001), 0);
    EXPECT_EQ(Read(36, 1)[0], 86);
    EXPECT_EQ(Read(48, 1)[0], 86); // the shot registers show what will be delivered
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(Command(0x0102), 0);
    EXPECT_EQ(Word(38), 20);
    EXPECT_EQ(Command(0x0003), 0); // panoramic scan time belongs to the program
    EXPECT_EQ(Word(40), 1420);

    ASSERT_EQ(Command(0x0304), 0); // cephalometric lateral: time keys step 0.1 s
    EXPECT_EQ(Word(40), 100);
    EXPECT_EQ(Command(0x0003), 0);
    EXPECT_EQ(Word(40), 110);
    EXPECT_EQ(Word(92), 2); // cephalometric: acquisition always on
    EXPECT_EQ(Command(0x0203), emu::kIllegalValue);
    EXPECT_EQ(Command(0x0604), 0); // mA calibration step 1
    EXPECT_EQ(Command(0x0002), 0); // accepted, but the set point does not move
    EXPECT_EQ(Word(38), 40);
    EXPECT_EQ(Command(0x3104), emu::kIllegalValue); // no such TMJ variant
    EXPECT_EQ(Command(0x0B04), 0);
}

TEST_F(UnitTest, PatientAndMemoryKeyChangeTheDefaults) {
    ASSERT_EQ(Command(0x0005), 0); // child
    ASSERT_EQ(Command(0x0006), 0); // slim
    EXPECT_EQ(Word(36), 65);       // 70 - 5
    EXPECT_EQ(Word(38), 70);       // 10 mA x 70 %
    EXPECT_EQ(Command(0x0306), emu::kIllegalValue);
    ASSERT_EQ(Command(0x0105), 0);
    ASSERT_EQ(Command(0x0106), 0);
    Command(0x0001);
    Command(0x0001);
    EXPECT_EQ(Word(36), 72);
    ASSERT_EQ(Command(0x0008), 0); // memory: 72 kV becomes the program's default
    Command(0x0204);
    Command(0x7004);
    EXPECT_EQ(Word(36), 72);
    Command(0x0206); // large: +3 on the stored default
    EXPECT_EQ(Word(36), 75);
    ASSERT_EQ(Command(0x0082), 0); // user set points back to the factory values
    EXPECT_EQ(Word(36), 73);
}

TEST_F(UnitTest, ExposureCycleTimeline) {
    EXPECT_FALSE(Word(30) & 0x100); // panel not active yet
    EXPECT_FALSE(unit.PressSwitch());
    unit.ReleaseSwitch();
    ASSERT_EQ(Command(0x0085), 0);
    EXPECT_EQ(Word(30), 0x0300); // ready, voice permitted

    ASSERT_TRUE(unit.PressSwitch());
    EXPECT_EQ(Word(30), 0x0204); // cycle state 1
    EXPECT_EQ(Word(86), 65535);  // no waiting value while a cycle runs
    EXPECT_EQ(Command(0x0001), emu::kDeviceBusy);
    Advance(1499);
    EXPECT_EQ(CycleState(), 1);
    Advance(1);
    EXPECT_EQ(Word(30), 0x0248); // cycle state 2 with emission
    EXPECT_EQ(Word(90), 1);      // image being acquired
    Advance(14199);
    EXPECT_EQ(CycleState(), 2);
    Advance(1);
    EXPECT_EQ(CycleState(), 0); // complete, though the switch is still held
    unit.ReleaseSwitch();
    EXPECT_EQ(CycleState(), 0);

    const auto shot = Read(48, 11);
    EXPECT_EQ(shot[0], 70);
    EXPECT_EQ(shot[2], 1420);
    const uint16_t wait = Word(86);
    EXPECT_GE(wait, 60);
    EXPECT_LE(wait, 70);
    EXPECT_FALSE(Word(30) & 0x100);
    EXPECT_GT(Word(88), 0); // tube load
    const auto counters = [&] {
        uint16_t c[5];
        EXPECT_EQ(unit.ReadRegisters(0x6809, 5, c), 0);
        return std::vector<uint16_t>(c, c + 5);
    }();
    EXPECT_EQ(counters[0], 1);
    EXPECT_NEAR(counters[2], 69 * 10.25 * 14.2, 400); // joules
    Advance(1000);
    EXPECT_EQ(Word(86), wait - 1);
    Advance((wait - 1) * 1000ull);
    EXPECT_EQ(Word(86), 0);
    EXPECT_TRUE(Word(30) & 0x100);
}

TEST_F(UnitTest, ReleasingEarlyAbortsTheCycle) {
    Command(0x0085);
    ASSERT_TRUE(unit.PressSwitch());
    Advance(1000);
    unit.ReleaseSwitch();
    EXPECT_EQ(CycleState(), 4);
    Advance(2000);
    EXPECT_EQ(CycleState(), 0);
    EXPECT_EQ(Word(86), 0); // nothing emitted, nothing to cool

    ASSERT_TRUE(unit.Expose(1500 + 5000));
    Advance(6500);
    EXPECT_EQ(CycleState(), 5);
    EXPECT_EQ(Word(52), 500); // delivered 5.0 s of the 14.2 s
    EXPECT_EQ(Word(54), 1420);
    Advance(2000);
    EXPECT_EQ(CycleState(), 0);

    // A unit error during emission stops it too.
    Advance(Word(86) * 1000ull);
    ASSERT_TRUE(unit.Expose(std::nullopt));
    Advance(3000);
    unit.SetError(12);
    EXPECT_EQ(CycleState(), 6);
}

TEST_F(UnitTest, AcquisitionStatusFollowsNoxAndScenario) {
    Command(0x0085);
    unit.FailNextAcquisition(true);
    ASSERT_TRUE(unit.Expose(std::nullopt));
    Advance(1500);
    EXPECT_EQ(Word(90), 2);
    Advance(14200 + 70000);
    Command(0x0007); // exposure without acquisition
    EXPECT_EQ(Word(92), 0);
    ASSERT_TRUE(unit.Expose(std::nullopt));
    Advance(1500);
    EXPECT_EQ(Word(90), 0);
}

TEST_F(UnitTest, ProgramsReportTheirImageLayout) {
    Command(0x1104);
    auto layout = Read(94, 4);
    EXPECT_EQ(layout[2], 4);
    EXPECT_EQ(layout[3], 3344);
    Command(0x0104);
    layout = Read(94, 4);
    EXPECT_EQ(layout[2], 2);
    EXPECT_EQ(layout[3], 1672);
    unit.SetRotation(0);
    EXPECT_EQ(Word(94), 0);
    Command(0x0404); // switch to cephalometry: lateral view once the arm is there
    EXPECT_EQ(Word(42), 0x04);
    Advance(3000);
    EXPECT_EQ(Word(42), 0x03);
    Command(0x0107);
    Command(0x7004); // exit sequence
    EXPECT_EQ(Word(42), 0x70);
    EXPECT_EQ(Word(92), 1);
}

TEST_F(UnitTest, ErrorsBlockReadinessUntilCleared) {
    Command(0x0085);
    unit.SetError(1);
    EXPECT_EQ(Word(32), 1);
    EXPECT_FALSE(Word(30) & 0x100);
    Command(0x000B);
    EXPECT_EQ(Word(32), 0);

    unit.SetError(12);
    Command(0x000B); // a fault is not acknowledged without technical access
    EXPECT_EQ(Word(32), 12);
    Command(0x0080);
    EXPECT_EQ(Word(32), 0);
    EXPECT_FALSE(Word(30) & 0x100); // restarting
    Advance(2500);
    EXPECT_TRUE(Word(30) & 0x100);

    unit.SetError(20);
    unit.SetAccess(2);
    EXPECT_EQ(Word(30) & 0x0C00, 0x0800);
    Command(0x000B);
    EXPECT_EQ(Word(32), 0);
}

TEST_F(UnitTest, InvalidBlocksAreRefusedAndRaiseTheirError) {
    const auto goodCal = Read(162, 40);
    std::vector<uint16_t> zeros(40, 0);
    ASSERT_EQ(unit.WriteRegisters(At(162), 40, zeros.data()), 0); // a failed read written back
    Command(0x0181);
    EXPECT_EQ(Word(32), 54);
    Command(0x000B);
    EXPECT_EQ(Word(32), 54) << "the block is still invalid";
    ASSERT_EQ(unit.WriteRegisters(At(162), 40, goodCal.data()), 0); // restored from the file
    Command(0x0181);
    EXPECT_EQ(Word(32), 0);

    // NaN coefficients never reach the generator.
    std::vector<uint16_t> nan = goodCal;
    nan[7] = 0x0000;
    nan[8] = 0x7FC0;
    unit.WriteRegisters(At(162), 40, nan.data());
    Command(0x0181);
    EXPECT_EQ(Word(32), 54);
    Command(0x0182);
    EXPECT_EQ(Word(32), 0);
    EXPECT_EQ(Read(162, 40), goodCal);

    unit.CorruptBlock(emu::Block::Preferences);
    EXPECT_EQ(Word(32), 57);
    Command(0x0082); // reinitialisation replaces the block the unit cannot trust
    EXPECT_EQ(Word(32), 0);
    unit.CorruptBlock(emu::Block::Factory);
    EXPECT_EQ(Word(32), 56);
    Command(0x0282);
    EXPECT_EQ(Word(32), 0);
    EXPECT_EQ(Command(0x0881), emu::kIllegalValue);
}

TEST_F(UnitTest, KvCalibrationFollowsTheGeneratorModel) {
    Command(0x0085);
    // Step dialog: identity coefficients, store, step command; the set point is in the shot record.
    float p[2], m[2], s[2];
    for (int step = 0; step < 2; ++step) {
        ASSERT_EQ(Command(step == 0 ? 0x0504 : 0x1504), 0);
        s[step] = Word(48);
        EXPECT_EQ(Word(92), 0); // no image during a calibration
        FullExposure();
        p[step] = FloatOf(Read(70, 8), 2); // the unit's reading at byte 4
        m[step] = static_cast<float>(unit.MeterKv());
        EXPECT_NEAR(s[step], m[step], 3.0);
        EXPECT_NEAR(s[step], p[step], 3.0);
    }
    EXPECT_EQ(s[0], 65);
    EXPECT_EQ(s[1], 85);
    // The coefficient dialog's computation, then the table write-back.
    const double measGain = static_cast<float>((m[0] - m[1]) / (p[0] - p[1]));
    const double measOffset = m[0] - measGain * p[0];
    const double cmdOffset = ((s[1] - m[1]) * s[0] + (s[0] - m[0]) * s[1]) / (s[0] + s[1]);
    auto table = Read(162, 40);
    auto put = [&](int reg, float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        table[reg] = bits & 0xFFFF;
        table[reg + 1] = bits >> 16;
    };
    put(7, static_cast<float>(measGain));
    put(9, static_cast<float>(measOffset));
    put(13, static_cast<float>(cmdOffset));
    ASSERT_EQ(unit.WriteRegisters(At(162), 40, table.data()), 0);
    Command(0x0181);
    EXPECT_EQ(Word(32), 0);
    Command(0x0504);
    FullExposure();
    // The unit now measures what the meter reads, and delivers closer to its set point.
    EXPECT_NEAR(FloatOf(Read(70, 8), 2), unit.MeterKv(), 0.05);
    EXPECT_LT(std::fabs(unit.MeterKv() - 65.0), std::fabs(m[0] - 65.0));
}

TEST_F(UnitTest, HeatingCalibrationWalksItsElevenSetPoints) {
    Command(0x0085);
    ASSERT_EQ(Command(0x0704), 0);
    ASSERT_TRUE(unit.Expose(1500 + 500)); // interrupted: the set point stays
    Advance(2000 + 2000 + 10000);
    EXPECT_EQ(Word(42), 0x07);
    std::vector<int16_t> heating;
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(Word(42) >> 4, i);
        EXPECT_EQ(Word(36), 60 + 3 * i);
        FullExposure();
        heating.push_back(static_cast<int16_t>(Word(162 + 2 * (23 + i))));
    }
    EXPECT_EQ(Word(42), 0xA7) << "stays on the last set point";
    EXPECT_GT(heating.front(), 0);
    EXPECT_LT(heating.back(), 0);
    for (size_t i = 1; i < heating.size(); ++i)
        EXPECT_LT(heating[i], heating[i - 1]);
}

TEST_F(UnitTest, StandCalibrationEvolvesOverSeconds) {
    ASSERT_EQ(Command(0x0083), 0);
    EXPECT_EQ(Word(162), 0);
    Advance(3000);
    const int16_t midway = static_cast<int16_t>(Word(162));
    EXPECT_GT(midway, 0);
    EXPECT_LT(midway, 1523);
    EXPECT_EQ(Word(164), 0);
    Advance(5000);
    EXPECT_EQ(Word(162), 1523);
    EXPECT_EQ(Word(164), 12);
}

TEST_F(UnitTest, LaserGoesOutByItself) {
    Command(0x020A);
    EXPECT_TRUE(Word(30) & 0x80);
    Advance(29999);
    EXPECT_TRUE(Word(30) & 0x80);
    Advance(1);
    EXPECT_FALSE(Word(30) & 0x80);
    Command(0x020A);
    Command(0x020A); // the key toggles
    EXPECT_FALSE(Word(30) & 0x80);
}

TEST_F(UnitTest, LinkFaultsLastForTheirRequests) {
    unit.InjectFault({emu::FaultKind::Exception, 6, 0}, 2);
    EXPECT_EQ(unit.TakeLinkFault().exceptionCode, 6);
    EXPECT_EQ(unit.TakeLinkFault().kind, emu::FaultKind::Exception);
    EXPECT_EQ(unit.TakeLinkFault().kind, emu::FaultKind::None);
    unit.CountFrame(true);
    unit.CountFrame(true);
    unit.CountFrame(false);
    const auto counters = Read(102, 2);
    EXPECT_EQ(counters[0], 2);
    EXPECT_EQ(counters[1], 1);
}

TEST(UnitMemory, BlocksCountersAndSetPointsSurviveARestart) {
    const std::string path = ::testing::TempDir() + "/emu-state-test.txt";
    std::filesystem::remove(path);
    emu::ManualClock clock;
    std::string error;
    {
        UnitModel unit(clock);
        ASSERT_TRUE(unit.AttachStateFile(path, error));
        uint16_t word = 0x0085;
        unit.WriteRegisters(0x7040, 1, &word);
        ASSERT_TRUE(unit.Expose(std::nullopt));
        clock.Skip(20000);
        const uint16_t offCentre = 0xFFF4; // -12
        unit.WriteRegisters(0x7051 + 2, 1, &offCentre);
        word = 0x0181;
        unit.WriteRegisters(0x7040, 1, &word);
        word = 0x0001;
        unit.WriteRegisters(0x7040, 1, &word);
        word = 0x0008;
        unit.WriteRegisters(0x7040, 1, &word);
    }
    UnitModel restarted(clock);
    ASSERT_TRUE(restarted.AttachStateFile(path, error));
    uint16_t w[5];
    ASSERT_EQ(restarted.ReadRegisters(0x6809, 5, w), 0);
    EXPECT_EQ(w[0], 1);
    ASSERT_EQ(restarted.ReadRegisters(0x7051 + 2, 1, w), 0);
    EXPECT_EQ(w[0], 0xFFF4);
    EXPECT_EQ(restarted.Current().kv, 71);
    EXPECT_EQ(restarted.ErrorCode(), 0);

    // A damaged memory: the unit falls back to its defaults and says so.
    std::ofstream(path) << "lumen-unit-state 1\ncalibration 00zz\n";
    UnitModel damaged(clock);
    ASSERT_TRUE(damaged.AttachStateFile(path, error));
    EXPECT_EQ(damaged.ErrorCode(), 54);
    std::filesystem::remove(path);
}

} // namespace
