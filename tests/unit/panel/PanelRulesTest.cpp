// The panel's pure rules: value texts, the waiting-time marker, the security time-out and the unit
// error filter. Start-up alignment and the condition slots are checked on the live panel under Wine.
#include "panel/PanelRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

TEST(ValueTexts, RoundTheExactValueHalfAwayFromZero) {
    const struct {
        std::string got, expected;
    } cases[] = {
        // Ties that C runtimes round differently: 10.5 and 0.125 are exact binary values.
        {panel::FormatMilliAmps(10.5f), "11"},
        {panel::FormatMilliAmps(9.95f), "9.9"}, // the float lies below 9.95
        {panel::FormatMilliAmps(9.96f), "10.0"},
        {panel::FormatSeconds(9.999f, true), "10.0"},
        {panel::FormatSeconds(0.125f, false), "0.13"},
        {panel::FormatDose(99.96f), "100.0"},
        {panel::FormatDose(-0.004f), "0.00"},
        {panel::FormatDose(-1.25f), "-1.25"},
        // Garbage from the unit never prints as "nan" or a runaway number.
        {panel::FormatDose(std::numeric_limits<float>::quiet_NaN()), "0.00"},
        {panel::FormatMilliAmps(3.0e38f), "0.0"},
        {panel::FormatFixed(std::nan(""), 1), "0.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.expected);
}

TEST(WaitingTime, ShowsMinutesAndSecondsThenAWalkingMarker) {
    EXPECT_EQ(panel::FormatWaitingTime(75), "01:15");
    EXPECT_EQ(panel::FormatWaitingTime(6000), "100:00");

    // From a shown time, the marker starts at the first place and walks over five places.
    std::string shown = "01:15";
    const char* walk[] = {">    ", " >   ", "  >  ", "   > ", "    >", ">    "};
    for (const char* expected : walk) {
        shown = panel::NextWaitingMarker(shown);
        EXPECT_EQ(shown, expected);
    }
    // A time with three minute digits, or an empty display, restarts the marker.
    EXPECT_EQ(panel::NextWaitingMarker("100:00"), ">    ");
    EXPECT_EQ(panel::NextWaitingMarker(""), ">    ");
}

TEST(SecurityTimeOut, IsCappedAndNeverNegative) {
    EXPECT_EQ(panel::SecurityTimeOutMs(INT32_MIN), 0);
    EXPECT_EQ(panel::SecurityTimeOutMs(2000), 2000);
    EXPECT_EQ(panel::SecurityTimeOutMs(INT32_MAX), 2000);
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

} // namespace
