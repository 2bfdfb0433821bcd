// The unit's display character set and the 40-byte unit text.
#include "link/DisplayText.h"

#include <gtest/gtest.h>

#include <string>

using namespace unitlink;

namespace {

TEST(DisplayText, CharactersWithoutAGlyphShowAsBlanks) {
    const auto& t = UnitDisplayCharacterTable();
    for (int c = 0; c < 256; ++c) {
        if (c <= 32 || c == 127)
            EXPECT_EQ(t[c], 32) << c;
        else if (c < 127)
            EXPECT_EQ(t[c], c == '^' ? 'N' : c) << c;
    }
    // Accented letters and symbols, from the Windows-1252 characters they stand for.
    const std::pair<int, int> mapped[] = {{0xE9, 130}, {0xE7, 135}, {0xB0, 178}, {0xC5, 142},
                                          {0x97, 45},  {0xFF, 152}, {0xA0, 32}, {0x81, 32}};
    for (const auto& [from, to] : mapped)
        EXPECT_EQ(t[from], to) << from;
}

TEST(DisplayText, UnitTextIsPaddedCutAndConverted) {
    const auto text = [](std::string_view in) {
        const UnitTextArea area = ToUnitDisplayText(in);
        EXPECT_EQ(area.bytes[39], 0);
        return std::string(reinterpret_cast<const char*>(area.data()), 39);
    };
    EXPECT_EQ(text("Pr\xE9t ^"), "Pr\x82t N" + std::string(33, ' '));
    EXPECT_EQ(text(std::string(60, 'x')), std::string(39, 'x'));
    EXPECT_EQ(text(""), std::string(39, ' '));
    // A text ends at its first 0 even inside a longer view; control characters show as blanks.
    EXPECT_EQ(text(std::string_view("ab\0cd", 5)), "ab" + std::string(37, ' '));
    EXPECT_EQ(text("a\tb").substr(0, 3), "a b");
}

} // namespace
