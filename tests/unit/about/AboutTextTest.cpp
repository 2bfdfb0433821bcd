// The printed log's lines (its pages are checked on a printer under Wine), the firmware box's bounded
// fields and the mail failure texts.
#include "about/AboutText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

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
        {"a\r\nb", {"a", "b"}},       // the last line has no end: still printed
        {"a\nb\rc", {"a", "b", "c"}}, // lone LF and lone CR end lines too
        {"a\n\rb", {"a", "", "b"}},   // LF then CR: two ends, not a pair
        {"a\r\r\nb", {"a", "", "b"}}, // CR, then a CR-LF pair
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lines(c.text), c.lines) << testing::PrintToString(c.text);
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
}

} // namespace
