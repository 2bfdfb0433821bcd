// The program fields the recap writes into the shot records, whatever the code, and the cephalometric
// page's angle. The recap of each program is checked by the pages under Wine against the emulator.
#include "panel/ProgramRecap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

uint16_t U16(const std::vector<uint8_t>& record, size_t at) {
    return static_cast<uint16_t>(record[at] | record[at + 1] << 8);
}

TEST(ProgramFields, NameIsZeroPaddedToThirtyBytesAndSectionsStopAtTheCount) {
    std::vector<uint8_t> pano(panel::kPanoRecordBytes, 0xAA);
    panel::WritePanoramicFields(pano.data(), panel::PanoramicRecapOf(0x11), "TMJ, four images");
    EXPECT_EQ(U16(pano, 0), 188);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&pano[2])), "TMJ, four images");
    for (size_t i = 2 + 16; i < 32; ++i)
        EXPECT_EQ(pano[i], 0) << i;
    EXPECT_EQ(pano[32], 0xAA) << "the byte after the name field";
    EXPECT_EQ(U16(pano, 49), 4);

    // Fewer sections: the later ones keep what the four-image program wrote; a long name is cut to 29.
    const std::string longName(40, 'n');
    panel::WritePanoramicFields(pano.data(), panel::PanoramicRecapOf(0x30), longName);
    EXPECT_EQ(U16(pano, 49), 1);
    EXPECT_EQ(U16(pano, 53), 1614);
    EXPECT_EQ(U16(pano, 55), 886);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&pano[2])), std::string(29, 'n'));
    EXPECT_EQ(pano[31], 0);
    EXPECT_EQ(pano[32], 0xAA);
}

TEST(ProgramFields, NoProgramLeavesTheRecordsAsTheyAre) {
    // Every code the unit could report, on records full of a pattern: only the program fields change,
    // and nothing is written after the section table.
    for (int code = 0; code < 256; ++code) {
        std::vector<uint8_t> pano(panel::kPanoRecordBytes, 0x5C), ceph(panel::kCephRecordBytes, 0x5C);
        const std::vector<uint8_t> panoBefore = pano, cephBefore = ceph;
        const auto p = panel::PanoramicRecapOf(static_cast<uint8_t>(code));
        panel::WritePanoramicFields(pano.data(), p, std::string(64, 'x'));
        const auto c = panel::CephalometricRecapOf(static_cast<uint8_t>(code));
        panel::WriteCephalometricFields(pano.data(), ceph.data(), c, std::string(64, 'x'), 999);
        for (size_t i = 67; i < pano.size(); ++i)
            ASSERT_EQ(pano[i], panoBefore[i]) << "code " << code << " byte " << i;
        for (size_t i = 0; i < ceph.size(); ++i) {
            if (i > 1 && (i < 48 || i > 49)) {
                ASSERT_EQ(ceph[i], cephBefore[i]) << "code " << code << " byte " << i;
            }
        }
        const uint16_t angle = U16(ceph, 48);
        EXPECT_TRUE(angle == 0x5C5C || angle <= 360) << code;
        if (code == 0x00 || code == 0x31) {
            EXPECT_EQ(pano, panoBefore) << code;
        }
    }
}

TEST(ObliqueAngle, TextValueAndSteps) {
    const struct {
        const char* text;
        int value;
    } texts[] = {{"45\xB0", 45}, {"", 0}, {"abc", 0}, {" 12x", 12}, {"-5", 0}, {"99999999999", 360}};
    for (const auto& t : texts)
        EXPECT_EQ(panel::AngleOfText(t.text), t.value) << t.text;
    EXPECT_STREQ(panel::AngleText(400).data(), "360\xB0");
    EXPECT_EQ(panel::StepAngle(45, 1) + panel::StepAngle(360, 1) + panel::StepAngle(0, -1), 46 + 360 + 0);
}

} // namespace
