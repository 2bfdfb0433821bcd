// The printed log's lines and pages, the firmware box's bounded fields and the mail failure texts.
#include "about/AboutText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using about::LinePlacement;

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> out;
    for (std::string_view line : about::SplitPrintLines(text))
        out.emplace_back(line);
    return out;
}

TEST(PrintLines, EndsAreCrLfCrOrLfAndALastLineWithoutEndIsKept) {
    using V = std::vector<std::string>;
    const struct {
        std::string text;
        V lines;
    } cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},         // the last line has no end: still printed
        {"a\nb\rc", {"a", "b", "c"}},   // lone LF and lone CR end lines too
        {"a\n\rb", {"a", "", "b"}},     // LF then CR: two ends, not a pair
        {"a\r\r\nb", {"a", "", "b"}},   // CR, then a CR-LF pair
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lines(c.text), c.lines) << testing::PrintToString(c.text);
}

// Line height 10 on a printable rectangle from 30 to 100: the page ends once less than one line
// height stays free below the last line; every page keeps the same margins.
TEST(PrintPages, LinesFillAPageThenContinueOnTheNext) {
    using Places = std::vector<std::pair<int, int>>; // page, top
    const struct {
        std::vector<int> heights; // 0 counts one line height (an empty line); 30 a line wrapped over three
        Places expected;
    } cases[] = {
        {std::vector<int>(9, 10), {{0, 30}, {0, 40}, {0, 50}, {0, 60}, {0, 70}, {0, 80}, {0, 90}, {1, 30}, {1, 40}}},
        {std::vector<int>(7, 10), {{0, 30}, {0, 40}, {0, 50}, {0, 60}, {0, 70}, {0, 80}, {0, 90}}},
        {{0, 30, 10, 30, 10}, {{0, 30}, {0, 40}, {0, 70}, {1, 30}, {1, 60}}},
        {{10, 200, 10}, {{0, 30}, {1, 30}, {2, 30}}}, // taller than a page: alone on its own
        {{}, {}},
    };
    for (const auto& c : cases) {
        Places got;
        for (const LinePlacement& p : about::PlaceLines(c.heights, 10, 30, 100))
            got.emplace_back(p.page, p.top);
        EXPECT_EQ(got, c.expected) << testing::PrintToString(c.heights);
    }
}

TEST(FirmwareText, FieldsStopAtTheirZeroOrTheirWidth) {
    unitlink::IdentificationBlock id;
    unitlink::FactorySettingsBlock factory;
    std::memcpy(id.data(), "LUMEN 70", 8);
    std::memcpy(id.data() + 12, "2.10", 4);
    std::memcpy(id.data() + 18, "2024-03-18", 10);
    factory.SetSerialNumber("L70-00417");
    factory.SetU16(10, 0x4242); // the options after the serial's terminator are not text
    const about::FirmwareLabels labels{"Type", "Version", "Date", "Serial"};
    EXPECT_EQ(about::FirmwareText(labels, id, factory),
              "Type :\t\tLUMEN 70\r\nVersion :\t2.10\r\nDate :\t\t2024-03-18\r\nSerial :\tL70-00417");

    // Fields filled to the brim: each stops at its width, never in the next field.
    std::memset(id.data(), 'A', 12);
    std::memset(id.data() + 12, 'B', 6);
    std::memset(id.data() + 18, 'C', 12);
    std::memset(factory.data(), 'D', factory.kSize);
    EXPECT_EQ(about::FirmwareText(labels, id, factory),
              "Type :\t\t" + std::string(12, 'A') + "\r\nVersion :\t" + std::string(6, 'B') +
                  "\r\nDate :\t\t" + std::string(12, 'C') + "\r\nSerial :\t" + std::string(32, 'D'));

    // Nothing read: the labels alone.
    EXPECT_EQ(about::FirmwareText(labels, {}, {}), "Type :\t\t\r\nVersion :\t\r\nDate :\t\t\r\nSerial :\t");
}

TEST(MailFailure, CodesHaveTheirNamesAndOthersAreUnknown) {
    const std::string prefix = "Failed to send the message. Error: ";
    EXPECT_EQ(about::MailFailureText(1), prefix + "unknown error.") << "the operator cancelled";
    EXPECT_EQ(about::MailFailureText(11), prefix + "ATTACHMENT_NOT_FOUND.");
    EXPECT_EQ(about::MailFailureText(26), prefix + "unknown error.");
}

} // namespace
