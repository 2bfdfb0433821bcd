// The unit information file's entries: sections, keys, formats and order, from known blocks.
#include "panel/UnitInfoFile.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Names as "#id", so each entry shows which identifier it used.
std::string Name(uint16_t id) {
    return "#" + std::to_string(id);
}

panel::UnitInfoBlocks SampleBlocks() {
    panel::UnitInfoBlocks b;
    std::memcpy(b.identification.data(),
                "LUMEN70\0\0\0\0\0"
                "2.10\0\0"
                "2026-11-02\0\0",
                30);
    b.counters.SetU32(0, 1234);
    b.counters.SetU32(4, 3000000000u); // a tube energy beyond the signed range stays positive
    std::memcpy(b.factory.data(), "SN-0042", 8);
    b.factory.SetU16(10, 1);
    b.factory.SetU16(14, 3);
    b.factory.SetU16(16, 2);
    b.calibration.SetS16(0, 812);
    b.calibration.SetS16(2, -3);
    b.calibration.SetS16(4, 7);
    b.calibration.SetS16(68, -12);
    for (unsigned k = 0; k < 10; ++k)
        b.calibration.SetF32(6 + 4 * k, 1.0f + 0.25f * static_cast<float>(k));
    for (unsigned i = 0; i <= 10; ++i)
        b.calibration.SetS16(46 + 2 * i, static_cast<int16_t>(100 + i));
    for (unsigned k = 0; k < 5; ++k)
        b.calibration.SetU8(70 + k, static_cast<uint8_t>(200 + k));
    b.preferences.SetU16(0, 2);
    for (unsigned n = 0; n < 6; ++n) {
        b.preferences.SetS16(4 + 4 * n, static_cast<int16_t>(-static_cast<int>(n)));
        b.preferences.SetU16(6 + 4 * n, static_cast<uint16_t>(60 + n));
    }
    return b;
}

TEST(UnitInfoFile, WritesEverySectionKeyAndFormatInOrder) {
    const auto entries = panel::UnitInfoEntries(SampleBlocks(), Name);
    ASSERT_EQ(entries.size(), 3u + 2 + 4 + 4 + 10 + 11 + 5 + 1 + 12);
    const struct {
        size_t index;
        panel::UnitInfoEntry entry;
    } expected[] = {
        {2, {"#4648", "#4655", "2026-11-02"}},
        {4, {"#4649", "#4657", "3000000000"}},
        {6, {"#4650", "#4659", "#4093"}},
        {12, {"#4651", "#4647", "-12"}},
        {22, {"#4651", "#4636", "3.250000"}},
        {23, {"#4651", "#4637[0]", "100"}},
        {34, {"#4651", "#4662", "200"}},
        {39, {"#4652", "#4638", "#4068"}},
        {46, {"#4652", "#4640 ( #4643, #4644)", "63"}},
        {51, {"#4652", "#4641 ( #4643, #4646)", "-5"}},
    };
    for (const auto& e : expected)
        EXPECT_EQ(entries[e.index], e.entry) << "entry " << e.index << ": " << entries[e.index].section << " "
                                             << entries[e.index].key << "=" << entries[e.index].value;
}

TEST(UnitInfoFile, OptionsBeyondTheirListsGiveEmptyValuesAndTextsStopAtTheirEnds) {
    auto blocks = SampleBlocks();
    blocks.factory.SetU16(14, 0xFFFF);
    blocks.preferences.SetU16(0, 3);
    auto entries = panel::UnitInfoEntries(blocks, Name);
    EXPECT_EQ(entries[7].value, "");
    EXPECT_FALSE(entries[7].key.empty()) << "the key is still written";
    EXPECT_EQ(entries[39].value, " ") << "unknown rest position";

    blocks = {}; // zeros, as after failed reads
    std::memset(blocks.identification.data(), 'A', 30);
    std::memset(blocks.factory.data(), 'S', 32);
    entries = panel::UnitInfoEntries(blocks, Name);
    EXPECT_EQ(entries[1].value, std::string(6, 'A'));
    EXPECT_EQ(entries[5].value, std::string(32, 'S'));
}

} // namespace
