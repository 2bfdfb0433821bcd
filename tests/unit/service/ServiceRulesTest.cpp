// The service dialogs' rules: typed compensation cells, list selections into block words, the
// factory options' words, and the link's failure rate.
#include "service/ServiceRules.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

TEST(CompensationCell, TypedTextToWordByRow) {
    struct Row {
        const char* text;
        int row;
        std::optional<uint16_t> word;
    };
    // Negative where unsigned; 19 characters are still read, 20 are beyond the edit's buffer; no
    // overflow on the way.
    const Row rows[] = {
        {"-5", 2, 0xFFFB}, {"-5", 1, std::nullopt}, {"65535", 1, 0xFFFF}, {"65536", 3, std::nullopt},
        {"32768", 0, std::nullopt}, {"-32768", 2, 0x8000}, {" 12 ", 1, 12}, {"12x", 1, std::nullopt},
        {"5", 4, std::nullopt}, {"0000000000000000012", 1, 12}, {"00000000000000000012", 1, std::nullopt},
        {"99999999999999999999999", 1, std::nullopt}};
    for (const Row& r : rows)
        EXPECT_EQ(service::CompensationCellWord(r.text, r.row), r.word)
            << '"' << r.text << "\" row " << r.row;
}

TEST(CompensationCell, ShownSignedOrUnsignedByRowAtItsBlockWord) {
    unitlink::PreferenceBlock block;
    // Cell (0,1) is the word at byte 4, (1,3) at 14, (2,1) at 16.
    for (const int at : {4, 6, 14, 16})
        block.SetU16(at, at < 10 ? 0xFFFB : 0x8000);
    EXPECT_EQ(service::CompensationCellText(block, 0, 1), "-5");
    EXPECT_EQ(service::CompensationCellText(block, 1, 1), "65531");
    EXPECT_EQ(service::CompensationCellText(block, 2, 1), "-32768");
}

TEST(Selection, NoSelectionKeepsTheBlockWord) {
    EXPECT_EQ(service::SelectionWord(-1, 2), 2);
    EXPECT_EQ(service::SelectionIndex(2, 3), 2);
    EXPECT_EQ(service::SelectionIndex(3, 3), -1) << "a word beyond the list selects nothing";
}

TEST(Selection, FactoryListsGoToTheirWords) {
    unitlink::FactorySettingsBlock block;
    for (std::size_t i = 20; i < 32; ++i)
        block.data()[i] = static_cast<uint8_t>(i);
    block.SetCephalometricOption(2);
    service::ApplyFactorySelections(block, {1, 3, -1, 1, 2});
    // Voltage, frequency, panoramic, cephalometric (an empty list keeps the unit's value), tube.
    EXPECT_EQ((std::vector<int>{block.U16(10), block.U16(12), block.U16(14), block.U16(16), block.U16(18)}),
              (std::vector<int>{1, 1, 3, 2, 2}));
    for (std::size_t i = 20; i < 32; ++i)
        EXPECT_EQ(block.data()[i], i) << "byte " << i << " belongs to the unit";
}

TEST(LinkStatistics, TotalBadAndRate) {
    const auto texts = [](uint16_t good, uint16_t bad) {
        const auto t = service::FrameCountTexts(good, bad);
        return t.total + " " + t.bad + " " + t.rate;
    };
    EXPECT_EQ(texts(0, 0), "0 0 0.0 %"); // nothing counted yet: no division by zero
    EXPECT_EQ(texts(65535, 65535), "131070 65535 50.0 %");
}

} // namespace
