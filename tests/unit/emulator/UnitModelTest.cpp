// Unit model: register layouts of both versions, steps and limits, cycle timeline, calibrations, blocks.
#include "emulator/UnitModel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

namespace {

using emu::UnitModel;
using Words = std::vector<uint16_t>;

// Byte offset from the register base -> bus word address.
constexpr uint16_t At(uint16_t byteOffset) {
    return static_cast<uint16_t>(0x7000 + byteOffset / 2);
}

Words ReadFrom(UnitModel& unit, uint16_t address, uint16_t count) {
    Words w(count, 0xDEAD);
    EXPECT_EQ(unit.ReadRegisters(address, count, w.data()), 0) << "address 0x" << std::hex << address;
    return w;
}

class UnitTest : public ::testing::Test {
protected:
    Words Read(uint16_t byteOffset, uint16_t count) { return ReadFrom(unit, At(byteOffset), count); }
    uint16_t Word(uint16_t byteOffset) { return Read(byteOffset, 1)[0]; }
    int Command(uint16_t word) { return unit.WriteRegisters(At(128), 1, &word); }
    uint16_t CycleState() { return (Word(30) >> 2) & 15; }
    bool Ready() { return Word(30) & 0x100; }
    // A key or command word the unit must accept, then the register it should have changed.
    uint16_t After(uint16_t command, uint16_t byteOffset) {
        EXPECT_EQ(Command(command), 0) << "command 0x" << std::hex << command;
        return Word(byteOffset);
    }
    uint16_t CycleAfter(uint64_t ms) {
        clock.Skip(ms);
        return CycleState();
    }
    // Exposes with the switch held to the end, then waits until the unit is ready again.
    void FullExposure() {
        ASSERT_TRUE(unit.Expose(std::nullopt));
        ASSERT_EQ(CycleAfter(1500 + unit.Current().timeHundredths * 10ull), 0);
        clock.Skip(Word(86) * 1000ull);
    }

    emu::ManualClock clock;
    UnitModel unit{clock, "2.10"};
};

TEST(UnitRegisters, VersionsLayoutsAndRefusals) {
    emu::ManualClock clock;
    for (const auto& [text, protocol] :
         {std::pair{"1.02", 1}, {"0.99", 1}, {"2.10", 2}, {"3.05", 2}, {"4.00", 1}})
        EXPECT_EQ(UnitModel(clock, text).ProtocolVersion(), protocol) << text;
    EXPECT_TRUE(UnitModel::IsValidVersion("10.25")); // five characters and the terminator
    EXPECT_FALSE(UnitModel::IsValidVersion("2.1000"));

    UnitModel v2(clock, "2.10"), v1(clock, "1.02");
    char text[30];
    std::memcpy(text, ReadFrom(v2, At(0), 15).data(), sizeof text); // low byte first, as on this host
    EXPECT_STREQ(text + 12, "2.10");
    // Where each version keeps the shot kV, the scan time and the image length.
    const std::tuple<UnitModel*, uint16_t, uint16_t> values[] = {
        {&v2, 36, 70}, {&v2, 54, 1420}, {&v2, 100, 2588}, {&v1, 50, 70}, {&v1, 56, 1420}, {&v1, 86, 2588}};
    for (const auto& [unit, offset, value] : values)
        EXPECT_EQ(ReadFrom(*unit, At(offset), 1)[0], value) << unit->Version() << " offset " << offset;

    // Gaps, reads running into one, count limits, read-only words, and each version's host text area.
    constexpr int kAddr = emu::kIllegalAddress, kValue = emu::kIllegalValue;
    const std::tuple<UnitModel*, bool, uint16_t, uint16_t, int> access[] = {
        {&v2, false, At(120), 1, kAddr}, {&v2, false, At(118), 2, kAddr}, {&v2, false, At(0), 126, kValue},
        {&v2, false, At(0), 0, kValue},  {&v2, true, At(30), 1, kAddr},   {&v2, true, 0x6817, 20, 0},
        {&v2, true, 0x6818, 20, kAddr},  {&v1, false, 0x6818, 20, 0},     {&v1, false, 0x6817, 20, kAddr}};
    Words buffer(130, 0x2020);
    for (const auto& [unit, write, address, count, result] : access)
        EXPECT_EQ(write ? unit->WriteRegisters(address, count, buffer.data())
                        : unit->ReadRegisters(address, count, buffer.data()),
                  result)
            << unit->Version() << (write ? " write 0x" : " read 0x") << std::hex << address;
    const uint16_t noSuchCommand = 0x00FF;
    EXPECT_EQ(v2.WriteRegisters(At(128), 1, &noSuchCommand), kValue);

    // Protocol 1 carries the conditions in the unit's raw layout; bits with no place there are dropped,
    // raw-only bits pass through.
    v1.SetConditions(0xE0FF);
    EXPECT_EQ(ReadFrom(v1, At(34), 1)[0], 0x736F);
    v1.SetConditionsRawV1(0x0010);
    EXPECT_EQ(ReadFrom(v1, At(34), 1)[0], 0x0010);

    // Units before 1.02 report no image layout (protocol 1 keeps it at bytes 84 and 86).
    for (const auto& [version, layout] : {std::pair{"1.01", Words{0, 0}}, {"1.02", Words{4, 3344}}}) {
        UnitModel unit(clock, version);
        const uint16_t fourImages = 0x1104;
        ASSERT_EQ(unit.WriteRegisters(At(128), 1, &fourImages), 0);
        EXPECT_EQ(ReadFrom(unit, At(84), 2), layout) << version;
    }
}

TEST_F(UnitTest, KeysStepWithinTheProgramsLimits) {
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(Command(0x0001), 0);
    EXPECT_EQ(Word(36), 86);
    EXPECT_EQ(Word(48), 86);            // the shot registers show what will be delivered
    EXPECT_EQ(After(0x0003, 40), 1420); // panoramic scan time belongs to the program
    EXPECT_EQ(After(0x0304, 40), 100);  // cephalometric lateral: time keys step 0.1 s
    EXPECT_EQ(After(0x0003, 40), 110);
    EXPECT_EQ(Word(92), 2); // cephalometric: acquisition always on
    EXPECT_EQ(Command(0x0203), emu::kIllegalValue);
    EXPECT_EQ(Command(0x3104), emu::kIllegalValue); // no such TMJ variant
    EXPECT_EQ(Command(0x0604), 0);                  // mA calibration step 1
    EXPECT_EQ(After(0x0002, 38), 40);               // accepted, but the set point does not move
}

TEST_F(UnitTest, PatientAndMemoryKeyChangeTheDefaults) {
    ASSERT_EQ(Command(0x0005), 0);    // child
    EXPECT_EQ(After(0x0006, 36), 65); // slim: 70 - 5
    EXPECT_EQ(Word(38), 70);          // 10 mA x 70 %
    for (uint16_t key : {0x0105, 0x0106, 0x0001, 0x0001})
        ASSERT_EQ(Command(key), 0);
    ASSERT_EQ(After(0x0008, 36), 72); // memory: 72 kV becomes the program's default
    Command(0x0204);
    EXPECT_EQ(After(0x7004, 36), 72);
    EXPECT_EQ(After(0x0206, 36), 75); // large: +3 on the stored default
    EXPECT_EQ(After(0x0082, 36), 73); // user set points back to the factory values
}

TEST_F(UnitTest, ResetSetPointsKeepsCalibrationAndSerialNumber) {
    auto table = Read(162, 40);
    table[23] = 40;
    ASSERT_EQ(unit.WriteRegisters(At(162), 40, table.data()), 0);
    const Words factory = {0x3358, 0x0039, 0, 0, 0, 0, 0, 1, 2, 0};
    ASSERT_EQ(unit.WriteRegisters(At(130), 10, factory.data()), 0);
    for (uint16_t word : {0x0381, 0x0001, 0x0008})
        ASSERT_EQ(Command(word), 0);
    ASSERT_EQ(After(0x7004, 36), 71);

    EXPECT_EQ(After(0x0382, 36), 70) << "the set point is back to the program's";
    EXPECT_EQ(Read(162, 40), table);
    EXPECT_EQ(Read(130, 10), factory);
    EXPECT_EQ(unit.BlockWords(emu::Block::Calibration, true), table);
}

TEST_F(UnitTest, ExposureCycleTimelineAndAborts) {
    EXPECT_FALSE(unit.PressSwitch()) << "panel not active yet";
    unit.ReleaseSwitch();
    ASSERT_EQ(Command(0x0085), 0);
    EXPECT_EQ(Word(30), 0x0300); // ready, voice permitted

    ASSERT_TRUE(unit.PressSwitch());
    EXPECT_EQ(Word(30), 0x0204); // cycle state 1
    EXPECT_EQ(Word(86), 65535);  // no waiting value while a cycle runs
    EXPECT_EQ(Command(0x0001), emu::kDeviceBusy);
    EXPECT_EQ(CycleAfter(1499), 1);
    clock.Skip(1);
    EXPECT_EQ(Word(30), 0x0248); // cycle state 2 with emission
    EXPECT_EQ(Word(90), 1);      // image being acquired
    EXPECT_EQ(CycleAfter(14199), 2);
    EXPECT_EQ(CycleAfter(1), 0); // complete, though the switch is still held
    unit.ReleaseSwitch();
    EXPECT_EQ(Word(48), 70);
    EXPECT_EQ(Word(52), 1420);
    const uint16_t wait = Word(86);
    EXPECT_GE(wait, 60);
    EXPECT_LE(wait, 70);
    EXPECT_FALSE(Ready());
    EXPECT_EQ(ReadFrom(unit, 0x6809, 1)[0], 1);
    clock.Skip(1000);
    EXPECT_EQ(Word(86), wait - 1);
    clock.Skip((wait - 1) * 1000ull);
    EXPECT_TRUE(Ready());

    // Released during preparation: nothing emitted, nothing to cool; during emission: the delivered time.
    ASSERT_TRUE(unit.Expose(1000));
    EXPECT_EQ(CycleAfter(1000), 4);
    EXPECT_EQ(CycleAfter(2000), 0);
    EXPECT_EQ(Word(86), 0);
    ASSERT_TRUE(unit.Expose(1500 + 5000));
    EXPECT_EQ(CycleAfter(6500), 5);
    EXPECT_EQ(Read(52, 2), (Words{500, 1420}));
    EXPECT_EQ(CycleAfter(2000), 0);

    // A failed acquisition shows in its status; a unit error during emission stops the cycle.
    clock.Skip(Word(86) * 1000ull);
    unit.FailNextAcquisition(true);
    ASSERT_TRUE(unit.Expose(std::nullopt));
    clock.Skip(3000);
    EXPECT_EQ(Word(90), 2);
    unit.SetError(12);
    EXPECT_EQ(CycleState(), 6);
}

TEST_F(UnitTest, ErrorsBlockReadinessUntilCleared) {
    Command(0x0085);
    unit.SetError(1);
    EXPECT_FALSE(Ready());
    EXPECT_EQ(After(0x000B, 32), 0);

    unit.SetError(12);
    EXPECT_EQ(After(0x000B, 32), 12); // a fault is not acknowledged without technical access
    EXPECT_EQ(After(0x0080, 32), 0);
    EXPECT_FALSE(Ready()); // restarting
    clock.Skip(2500);
    EXPECT_TRUE(Ready());

    unit.SetError(20);
    unit.SetAccess(2);
    EXPECT_EQ(Word(30) & 0x0C00, 0x0800);
    EXPECT_EQ(After(0x000B, 32), 0);
}

TEST_F(UnitTest, InvalidBlocksAreRefusedAndRaiseTheirError) {
    const auto goodCal = Read(162, 40);
    // Writes the calibration table and tells the unit so; the error register answers.
    const auto store = [&](const Words& table) {
        EXPECT_EQ(unit.WriteRegisters(At(162), 40, table.data()), 0);
        return After(0x0181, 32);
    };
    EXPECT_EQ(store(Words(40, 0)), 54); // a failed read written back
    EXPECT_EQ(After(0x000B, 32), 54) << "the block is still invalid";
    EXPECT_EQ(store(goodCal), 0); // restored from the file

    Words nan = goodCal; // NaN coefficients never reach the generator
    nan[7] = 0x0000;
    nan[8] = 0x7FC0;
    EXPECT_EQ(store(nan), 54);
    EXPECT_EQ(After(0x0182, 32), 0);
    EXPECT_EQ(Read(162, 40), goodCal);

    // Reinitialisation replaces the block the unit cannot trust.
    const std::tuple<emu::Block, uint16_t, uint16_t> blocks[] = {{emu::Block::Preferences, 57, 0x0082},
                                                                 {emu::Block::Factory, 56, 0x0282}};
    for (const auto& [block, error, reinit] : blocks) {
        unit.CorruptBlock(block);
        EXPECT_EQ(Word(32), error);
        EXPECT_EQ(After(reinit, 32), 0);
    }
}

// The values each exposure finds are checked by the heating dialog under Wine.
TEST_F(UnitTest, HeatingCalibrationWalksItsElevenSetPoints) {
    Command(0x0085);
    ASSERT_EQ(Command(0x0704), 0);
    ASSERT_TRUE(unit.Expose(1500 + 500)); // interrupted: the set point stays
    clock.Skip(2000 + 2000 + 10000);
    EXPECT_EQ(Word(42), 0x07);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(Word(42) >> 4, i);
        EXPECT_EQ(Word(36), 60 + 3 * i);
        FullExposure();
    }
    EXPECT_EQ(Word(42), 0xA7) << "stays on the last set point";
}

TEST(UnitMemory, BlocksCountersAndSetPointsSurviveARestart) {
    const std::string path = ::testing::TempDir() + "/emu-state-test.txt";
    std::filesystem::remove(path);
    emu::ManualClock clock;
    std::string error;
    {
        UnitModel unit(clock);
        ASSERT_TRUE(unit.AttachStateFile(path, error));
        const auto command = [&](uint16_t word) { unit.WriteRegisters(At(128), 1, &word); };
        command(0x0085);
        ASSERT_TRUE(unit.Expose(std::nullopt));
        clock.Skip(20000);
        const uint16_t offCentre = 0xFFF4; // -12
        unit.WriteRegisters(At(166), 1, &offCentre);
        for (uint16_t word : {0x0181, 0x0001, 0x0008}) // store the table, kV up, memory key
            command(word);
    }
    UnitModel restarted(clock);
    ASSERT_TRUE(restarted.AttachStateFile(path, error));
    EXPECT_EQ(ReadFrom(restarted, 0x6809, 1)[0], 1);
    EXPECT_EQ(ReadFrom(restarted, At(166), 1)[0], 0xFFF4);
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
