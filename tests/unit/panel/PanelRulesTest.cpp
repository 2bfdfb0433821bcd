// The panel's pure rules: start-up alignment and select word, value texts, waiting-time marker and
// the polling counters.
#include "panel/PanelRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using panel::ProgramSelect;

namespace {

TEST(SelectWord, PutsVariantAndFamilyInTheHighByte) {
    const struct {
        int first, second;
        uint16_t word;
    } cases[] = {{3, 0, 0x0304}, {0, 7, 0x7004}, {15, 0, 0x0F04},
                 // Only the family's four bits count; the code is cut to one byte.
                 {0x13, 2, 0x2304}, {1, 0x1F, 0xF104}};
    for (const auto& c : cases)
        EXPECT_EQ(panel::SelectWord(c.first, c.second), c.word) << c.first << "," << c.second;
}

TEST(StartAlignment, FollowsTheModeTable) {
    const std::optional<ProgramSelect> none;
    const struct {
        uint32_t startPgm;
        uint8_t program;
        uint8_t mode;
        std::optional<ProgramSelect> expected;
    } cases[] = {
        // Forced service programs (bit 24): the panoramic column only for mode exactly 1.
        {0x3000001, 0x00, 1, ProgramSelect{12, 0}},
        {0x1000000, 0x00, 1, ProgramSelect{13, 0}},
        {0x1000000, 0x00, 2, none},
        {0x3000001, 0x03, 0, ProgramSelect{14, 0}},
        {0x1000005, 0x03, 0, ProgramSelect{15, 0}},
        // Panoramic families 0, 1, 2, 8, 9: only TMJ variant 2 moves in panoramic mode.
        {0, 0x70, 1, none},
        {0, 0x21, 7, ProgramSelect{1, 1}},
        {0, 0x11, 1, none},
        {0, 0x08, 0, ProgramSelect{3, 0}},
        // Cephalometric families 3, 10, 11; the switch to cephalometry (4) is left as it is.
        {0, 0x0B, 2, ProgramSelect{0, 7}},
        {0, 0x23, 0, none},
        {0, 0x04, 1, none},
        // Calibration and service families.
        {0, 0x05, 1, ProgramSelect{0, 7}},
        {0, 0x0F, 2, none},
        {0, 0x0C, 0, ProgramSelect{3, 0}},
    };
    for (const auto& c : cases) {
        const auto got = panel::StartAlignment(c.startPgm, c.program, c.mode);
        ASSERT_EQ(got.has_value(), c.expected.has_value())
            << std::hex << c.startPgm << " program 0x" << int{c.program} << " mode " << int{c.mode};
        if (got) {
            EXPECT_EQ(*got, *c.expected) << std::hex << "program 0x" << int{c.program};
        }
    }
}

TEST(ValueTexts, RoundTheExactValueHalfAwayFromZero) {
    const struct {
        std::string got, expected;
    } cases[] = {
        // Ties that C runtimes round differently: 10.5 and 0.125 are exact binary values.
        {panel::FormatMilliAmps(10.5f), "11"},
        {panel::FormatMilliAmps(11.5f), "12"},
        {panel::FormatMilliAmps(9.95f), "9.9"}, // the float lies below 9.95
        {panel::FormatMilliAmps(9.96f), "10.0"},
        {panel::FormatSeconds(9.999f, true), "10.0"},
        {panel::FormatSeconds(9.999f, false), "10.00"},
        {panel::FormatSeconds(0.125f, false), "0.13"},
        {panel::FormatDose(99.96f), "100.0"},
        {panel::FormatDose(100.5f), "101"},
        {panel::FormatDose(-0.004f), "0.00"},
        {panel::FormatDose(-1.25f), "-1.25"},
        {panel::FormatKv(65535), "65535"},
        // Garbage from the unit never prints as "nan" or a runaway number.
        {panel::FormatDose(std::numeric_limits<float>::quiet_NaN()), "0.00"},
        {panel::FormatDose(std::numeric_limits<float>::infinity()), "0.00"},
        {panel::FormatMilliAmps(3.0e38f), "0.0"},
        {panel::FormatFixed(std::nan(""), 1), "0.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.expected);
}

TEST(WaitingTime, ShowsMinutesAndSecondsThenAWalkingMarker) {
    EXPECT_EQ(panel::FormatWaitingTime(0), "00:00");
    EXPECT_EQ(panel::FormatWaitingTime(75), "01:15");
    EXPECT_EQ(panel::FormatWaitingTime(6000), "100:00");

    // From a shown time, the marker starts at the first place and walks over five places.
    std::string shown = "01:15";
    const char* walk[] = {">    ", " >   ", "  >  ", "   > ", "    >", ">    ", " >   "};
    for (const char* expected : walk) {
        shown = panel::NextWaitingMarker(shown);
        EXPECT_EQ(shown, expected);
    }
    // A time with three minute digits, or an empty display, restarts the marker.
    EXPECT_EQ(panel::NextWaitingMarker("100:00"), ">    ");
    EXPECT_EQ(panel::NextWaitingMarker(""), ">    ");
}

TEST(SecurityTimeOut, IsCappedAndNeverNegative) {
    const struct {
        int32_t setting, ms;
    } cases[] = {{0, 0}, {INT32_MIN, 0}, {1, 1}, {2000, 2000}, {2001, 2000}, {INT32_MAX, 2000}};
    for (const auto& c : cases)
        EXPECT_EQ(panel::SecurityTimeOutMs(c.setting), c.ms) << c.setting;
}

TEST(UnitErrorFilter, HandsOnALastingErrorOnceUntilItChangesOrClears) {
    panel::UnitErrorFilter filter;
    const struct {
        uint16_t code;
        bool accepted;
    } polls[] = {{0, false}, {30, true}, {30, false}, {30, false},
                 {31, true}, {30, true}, {0, false},  {30, true}};
    for (const auto& p : polls)
        EXPECT_EQ(filter.Accept(p.code), p.accepted) << p.code;
}

TEST(InfoSlot, EachConditionFieldHasItsMessageAndBothBitsOfAFieldNone) {
    const struct {
        int slot;
        uint16_t conditions;
        int message, code, prompt;
    } cases[] = {
        {0, 0x0080, 4224, 10, 4027}, {0, 0x00C0, 0, 0, 0}, {2, 0x0020, 4222, 8, 4021}, {2, 0x0030, 0, 0, 0},
        {4, 0x0300, 4240, 12, 4017}, {4, 0x0200, 4236, 4, 4028}, {5, 0x0C00, 0, 0, 0}, {8, 0x4000, 4228, 14, 0},
        {9, 0x0002, 4230, 2, 4045},  {9, 0x0003, 0, 0, 0},       {1, 0xFFFB, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const auto got = panel::InfoSlot(c.slot, c.conditions);
        ASSERT_EQ(got.has_value(), c.message != 0) << "slot " << c.slot << std::hex << " 0x" << c.conditions;
        if (got)
            EXPECT_EQ((std::vector<int>{got->message, got->code, got->prompt}),
                      (std::vector<int>{c.message, c.code, c.prompt}));
    }
    EXPECT_TRUE(panel::InfoSlot(panel::kUserTextSlot, 0).has_value()) << "the user text slot always holds";
    EXPECT_FALSE(panel::InfoSlot(11, 0xFFFF).has_value());
}

} // namespace
