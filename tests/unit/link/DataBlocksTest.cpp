// Block views over the unit's bytes, the unit text, and the read-modify-write rule.
#include "FakeBus.h"
#include "link/BlockUpdate.h"
#include "link/DisplayText.h"
#include "link/JbusV2.h"

#include <gtest/gtest.h>

#include <map>

using namespace unitlink;
using linktest::BusCall;
using linktest::FakeBus;
using linktest::MemoryLock;

namespace {

constexpr uint16_t kPreferencesWord = linktest::Reg(242);
constexpr uint16_t kCalibrationWord = linktest::Reg(162);

TEST(DataBlocks, FieldsOfTheBlocks) {
    // Compensation cells: the twelve words from offset 4 in the unit's paired row order.
    const int order[12][2] = {{0, 1}, {1, 1}, {0, 2}, {1, 2}, {0, 3}, {1, 3},
                              {2, 1}, {3, 1}, {2, 2}, {3, 2}, {2, 3}, {3, 3}};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(PreferenceBlock::CompensationCellOffset(order[i][0], order[i][1]), 4u + 2u * i) << i;
    PreferenceBlock p;
    p.SetCompensationCell(0, 2, -5);
    p.SetCompensationCell(1, 2, 65535);
    EXPECT_EQ(p.CompensationCell(0, 2), -5) << "rows 0 and 2 are signed";
    EXPECT_EQ(p.CompensationCell(1, 2), 65535) << "rows 1 and 3 are unsigned";

    // The serial number is cut to its field and leaves no stale characters.
    FactorySettingsBlock f;
    f.bytes.fill(0xEE);
    f.SetSerialNumber("ABCDEFGHIJKL");
    EXPECT_EQ(f.SerialNumber(), "ABCDEFGHI");
    f.SetSerialNumber("AB");
    EXPECT_EQ(f.SerialNumber(), "AB");
    EXPECT_EQ(f.bytes[9], 0);
    EXPECT_EQ(f.bytes[10], 0xEE) << "the option words are not touched";

    // The unit text: padded, cut, converted to the display's characters, ended at the first 0.
    const auto text = [](std::string_view in) {
        const UnitTextArea area = ToUnitDisplayText(in);
        EXPECT_EQ(area.bytes[39], 0);
        return std::string(reinterpret_cast<const char*>(area.data()), 39);
    };
    EXPECT_EQ(text("Pr\xE9t ^\t\x81"), "Pr\x82t N  " + std::string(31, ' '));
    EXPECT_EQ(text(std::string(60, 'x')), std::string(39, 'x'));
    EXPECT_EQ(text(std::string_view("ab\0cd", 5)), "ab" + std::string(37, ' '));
}

TEST(DataBlocks, CalibrationFloatsAreHeldLowWordFirstAndSmallWordsSigned) {
    FakeBus bus;
    ErrorLatch latch;
    CJbusV2 link(bus.Api(), latch);
    link.Open("COM1", 0);
    // 1.5f is 0x3FC00000, -2.25f 0xC0100000; then heating values at 60 and 90 kV and the stand offset.
    for (const auto& [word, value] :
         std::map<int, uint16_t>{{8, 0x3FC0}, {22, 0xC010}, {23, 0xFFFF}, {33, 123}, {34, 0xFFF6}})
        bus.registers[static_cast<uint16_t>(kCalibrationWord + word)] = value;
    CalibrationTable t;
    ASSERT_TRUE(link.ReadCalibrationTable(&t));
    EXPECT_EQ(t.GetCoefficient(CalibrationTable::KvMeasureGain), 1.5f);
    EXPECT_EQ(t.GetCoefficient(CalibrationTable::MaCommandOffset), -2.25f);
    EXPECT_EQ((std::vector<int>{t.HeatingValue(0), t.HeatingValue(10), t.HeatingValue(11),
                                t.CephalometricStandOffset()}),
              (std::vector<int>{-1, 123, 0, -10}));
    t.SetCoefficient(CalibrationTable::KvCommandGain, 1.5f);
    ASSERT_TRUE(link.WriteCalibrationTable(&t));
    EXPECT_EQ(bus.registers[kCalibrationWord + 11], 0x0000);
    EXPECT_EQ(bus.registers[kCalibrationWord + 12], 0x3FC0);
}

struct BlockUpdate : ::testing::Test {
    FakeBus bus;
    ErrorLatch latch;
    MemoryLock lock;
    CJbusV2 link{bus.Api(), latch};
    void SetUp() override {
        link.Open("COM1", 0);
        for (uint16_t i = 0; i < 20; ++i)
            bus.registers[static_cast<uint16_t>(kPreferencesWord + i)] = static_cast<uint16_t>(0x1000 + i);
        bus.calls.clear();
    }
};

TEST_F(BlockUpdate, ChangesOnlyTheOwnedFieldsAndTellsTheUnit) {
    const auto result =
        UpdateBlock<PreferenceBlock>(link, lock, [](PreferenceBlock& p) { p.SetDoseUnit(1); });
    EXPECT_EQ(result, BlockUpdateResult::Done);
    for (uint16_t i = 0; i < 20; ++i)
        EXPECT_EQ(bus.registers[static_cast<uint16_t>(kPreferencesWord + i)], i == 14 ? 1 : 0x1000 + i) << i;
    ASSERT_EQ(bus.calls.size(), 3u);
    EXPECT_EQ(bus.calls[2].words, std::vector<uint16_t>{0x0481});
    EXPECT_EQ(lock.depth(), 0);
    EXPECT_EQ(lock.acquisitions(), 1) << "read, write and command under one hold";
}

TEST_F(BlockUpdate, FailuresAreToldAndAFailedReadIsNeverWrittenBack) {
    bus.failAt[kPreferencesWord] = 12;
    bool changed = false;
    EXPECT_EQ(UpdateBlock<PreferenceBlock>(link, lock, [&](PreferenceBlock&) { changed = true; }),
              BlockUpdateResult::ReadFailed);
    EXPECT_FALSE(changed);
    EXPECT_EQ(bus.Transfers().size(), 1u) << "only the failed read went out";
    EXPECT_EQ(lock.depth(), 0);

    // A kept copy from a failed read is refused too, even after the link recovers.
    UnitBlock<PreferenceBlock> copy;
    EXPECT_FALSE(copy.Read(link));
    bus.failAt.clear();
    bus.calls.clear();
    EXPECT_FALSE(copy.WriteBack(link));
    EXPECT_TRUE(bus.calls.empty());
    EXPECT_TRUE(copy.Read(link));
    EXPECT_TRUE(copy.WriteBack(link));

    bus.failWrites = 4;
    EXPECT_EQ(UpdateBlock<CalibrationTable>(link, lock, {}), BlockUpdateResult::WriteFailed);
    EXPECT_EQ(bus.CountOf(BusCall::WriteOne), 0) << "the unit is not told about a block it did not get";
    bus.failWrites = 0;
    bus.failAt[linktest::Reg(128)] = 4;
    EXPECT_EQ(UpdateBlock<FactorySettingsBlock>(link, lock, {}), BlockUpdateResult::CommandFailed);
}

} // namespace
