// The unit's display character set and the 40-byte unit text.
#include "link/DisplayText.h"

#include <gtest/gtest.h>

#include <string>

using namespace unitlink;

namespace {

TEST(DisplayText, CharacterTableRanges) {
    const auto& t = UnitDisplayCharacterTable();
    for (int c = 0; c <= 32; ++c)
        EXPECT_EQ(t[c], 32) << c;
    for (int c = 33; c <= 126; ++c)
        EXPECT_EQ(t[c], c == '^' ? 'N' : c) << c;
    for (int c : {127, 128, 129, 132, 133, 135, 140, 144, 154, 160, 164, 172, 185, 190, 193, 200, 203, 208, 216,
                  219, 221, 240, 253})
        EXPECT_EQ(t[c], 32) << "no glyph for " << c;
    // A sample of the accented letters and symbols, from the Windows-1252 characters they stand for.
    const std::pair<int, int> mapped[] = {{0xE9 /* e acute */, 130}, {0xE8 /* e grave */, 138},
                                          {0xE0 /* a grave */, 133}, {0xE7 /* c cedilla */, 135},
                                          {0xB0 /* degree */, 178},  {0xB5 /* micro */, 218},
                                          {0xFC /* u umlaut */, 129}, {0xC4, 142}, {0xC5, 142},
                                          {0x82, 44},  {0x96, 45}, {0x97, 45}, {0xB1, 16}, {0xFF, 152}};
    for (const auto& [from, to] : mapped)
        EXPECT_EQ(t[from], to) << from;
}

TEST(DisplayText, UnitTextIsPaddedCutAndConverted) {
    const UnitTextArea shortText = ToUnitDisplayText("Pr\xE9t ^");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(shortText.data()), 6), "Pr\x82t N");
    for (std::size_t i = 6; i < 39; ++i)
        EXPECT_EQ(shortText.bytes[i], ' ') << i;
    EXPECT_EQ(shortText.bytes[39], 0);

    const std::string longText(60, 'x');
    const UnitTextArea cut = ToUnitDisplayText(longText);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cut.data())), std::string(39, 'x'));

    const UnitTextArea empty = ToUnitDisplayText("");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(empty.data())), std::string(39, ' '));

    // A text ends at its first 0 even inside a longer view; control characters show as blanks.
    const UnitTextArea stopped = ToUnitDisplayText(std::string_view("ab\0cd", 5));
    EXPECT_EQ(stopped.bytes[2], ' ');
    EXPECT_EQ(stopped.bytes[3], ' ');
    EXPECT_EQ(ToUnitDisplayText("a\tb").bytes[1], ' ');
}

} // namespace
