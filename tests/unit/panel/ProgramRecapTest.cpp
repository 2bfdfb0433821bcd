// The program recap's tables for every family and variant, the program fields it writes into the
// shot records, the cephalometric page's angle and the program pages' command words and prompts.
#include "panel/ProgramRecap.h"
#include "selection/PageRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using panel::X4Caption;
using Sections = std::vector<std::pair<uint16_t, uint16_t>>;

constexpr uint8_t TR = panel::kPairTmjRight, TL = panel::kPairTmjLeft, IN = panel::kPairIncisive,
                  RM = panel::kPairRightMolar, LM = panel::kPairLeftMolar, SI = panel::kPairSinus;

Sections SectionsOf(const panel::ImageSections& s) {
    Sections out;
    for (size_t k = 0; k < s.count && k < panel::kMaxImageSections; ++k)
        out.emplace_back(s.sections[k].offset, s.sections[k].width);
    return out;
}

TEST(PanoramicRecap, EveryFamilyAndVariant) {
    struct Row {
        uint8_t code;
        uint8_t pairs;
        int tmjImages;
        X4Caption x4;
        int recordCode; // -1: unchanged
        int nameId;     // -1: unchanged
        Sections sections;
    };
    const X4Caption K = X4Caption::Keep, H = X4Caption::Hide, S = X4Caption::Show;
    const Row rows[] = {
        {0x00, 0, 0, H, -1, -1, {}},
        {0x10, RM | TR, 0, H, 181, 4002, {{0, 974}}},
        {0x50, RM | LM | TL | TR, 0, H, 185, 4006, {{0, 974}, {1024, 974}}},
        {0x70, RM | IN | LM | TL | TR, 0, H, 180, 4001, {{0, 2588}}},
        {0x80, 0, 0, H, -1, -1, {}},
        {0x01, TR | TL, 1, H, 187, 4008, {{0, 836}, {886, 836}}},
        {0x11, TR | TL, 2, S, 188, 4009, {{0, 836}, {886, 836}, {1772, 836}, {2658, 836}}},
        {0x31, 0, 0, K, -1, -1, {}},
        {0x02, SI, 0, H, 189, 4010, {{0, 1832}}},
        {0x08, 0, 0, H, 190, 4011, {}},
        {0x09, 0, 0, H, 191, 4012, {}},
        {0x0A, 0, 0, H, 198, -1, {}},
        {0x3B, 0, 0, H, 199, -1, {}},
        {0x1C, RM | TR, 0, H, 181, 4002, {{0, 974}}},
        {0x7C, RM | IN | LM | TL | TR, 0, H, 200, 4001, {{0, 2588}}},
        {0x9C, 0, 0, H, 200, -1, {}},
        {0x7D, RM | IN | LM | TL | TR, 0, H, 201, 4001, {{0, 2588}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "program 0x" << std::hex << int{r.code});
        const panel::PanoramicRecap recap = panel::PanoramicRecapOf(r.code);
        EXPECT_EQ(recap.pairs, r.pairs);
        EXPECT_EQ(recap.tmjImages, r.tmjImages);
        EXPECT_EQ(recap.x4, r.x4);
        EXPECT_EQ(recap.code ? int{*recap.code} : -1, r.recordCode);
        EXPECT_EQ(recap.nameId ? int{*recap.nameId} : -1, r.nameId);
        EXPECT_EQ(SectionsOf(recap.sections), r.sections);
    }
    // The families without a panoramic program of their own only hide "x4".
    for (uint8_t family : {3, 4, 5, 6, 7, 14, 15})
        for (uint8_t variant = 0; variant < 16; ++variant) {
            const panel::PanoramicRecap recap = panel::PanoramicRecapOf(static_cast<uint8_t>(variant << 4 | family));
            EXPECT_EQ(recap.x4, X4Caption::Hide);
            EXPECT_FALSE(recap.code || recap.nameId || recap.pairs || recap.sections.count);
        }
}

TEST(CephalometricRecap, EveryFamilyAndVariant) {
    struct Row {
        uint8_t code;
        int key, recapState, angleHidden; // -1: untouched
        int panoCode, cephCode, nameId;   // -1: unchanged
        panel::AngleWord angle;
    };
    using A = panel::AngleWord;
    const Row rows[] = {
        {0x03, 1119, 2, 1, -1, 194, 4015, A::Zero},
        {0x23, 1111, 0, 1, -1, 192, 4013, A::Zero},
        {0x33, 1113, 3, 0, -1, 195, 4016, A::FromDisplay},
        {0x63, -1, -1, -1, -1, -1, -1, A::Keep},
        {0x0E, 1119, 2, 1, -1, 194, 4015, A::Zero},
        {0x2E, 1111, 0, 1, -1, 202, 4013, A::Zero}, // the AP view keeps its family's code
        {0x3F, 1113, 3, 0, -1, 195, 4016, A::FromDisplay},
        {0x6E, -1, -1, -1, -1, 202, -1, A::Keep},
        {0x08, -1, -1, -1, 190, -1, 4011, A::Keep},
        {0x09, -1, -1, -1, 191, -1, 4012, A::Keep},
        {0x0A, -1, -1, -1, 198, -1, -1, A::Keep},
        {0x0B, -1, -1, -1, 199, -1, -1, A::Keep},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "program 0x" << std::hex << int{r.code});
        const panel::CephalometricRecap recap = panel::CephalometricRecapOf(r.code);
        EXPECT_EQ(recap.x4, X4Caption::Hide);
        EXPECT_EQ(recap.litKey.value_or(-1), r.key);
        EXPECT_EQ(recap.recapState.value_or(-1), r.recapState);
        EXPECT_EQ(recap.angleHidden ? int{*recap.angleHidden} : -1, r.angleHidden);
        EXPECT_EQ(recap.panoCode ? int{*recap.panoCode} : -1, r.panoCode);
        EXPECT_EQ(recap.cephCode ? int{*recap.cephCode} : -1, r.cephCode);
        EXPECT_EQ(recap.nameId ? int{*recap.nameId} : -1, r.nameId);
        EXPECT_EQ(recap.angle, r.angle);
    }
    for (uint8_t family : {0, 1, 2, 4, 5, 6, 7, 12, 13}) {
        const panel::CephalometricRecap recap = panel::CephalometricRecapOf(static_cast<uint8_t>(0x30 | family));
        EXPECT_FALSE(recap.litKey || recap.panoCode || recap.cephCode || recap.nameId) << int{family};
        EXPECT_EQ(recap.angle, panel::AngleWord::Keep);
    }
}

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
    EXPECT_EQ(U16(pano, 51 + 12), 2658);
    EXPECT_EQ(U16(pano, 53 + 12), 836);

    // Fewer sections: the later ones keep what the four-image program wrote; a long name is cut to 29.
    const std::string longName(40, 'n');
    panel::WritePanoramicFields(pano.data(), panel::PanoramicRecapOf(0x30), longName);
    EXPECT_EQ(U16(pano, 49), 1);
    EXPECT_EQ(U16(pano, 51), 0);
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

TEST(ProgramFields, CephalometricViewsWriteCodeAngleAndThePanoramicName) {
    std::vector<uint8_t> pano(panel::kPanoRecordBytes, 0), ceph(panel::kCephRecordBytes, 0);
    panel::WriteCephalometricFields(pano.data(), ceph.data(), panel::CephalometricRecapOf(0x33), "Ceph oblique", 46);
    EXPECT_EQ(U16(ceph, 0) << 16 | U16(ceph, 48), 195 << 16 | 46);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&pano[2])), "Ceph oblique");
    panel::WriteCephalometricFields(pano.data(), ceph.data(), panel::CephalometricRecapOf(0x03), "Ceph lateral", 46);
    EXPECT_EQ(U16(ceph, 0), 194);
    EXPECT_EQ(U16(ceph, 48), 0) << "the angle belongs to the oblique view only";
    EXPECT_EQ(U16(pano, 0), 0) << "a view does not code the panoramic record";
}

TEST(ObliqueAngle, TextValueAndSteps) {
    const struct {
        const char* text;
        int value;
    } texts[] = {{"45\xB0", 45}, {"0\xB0", 0}, {"360\xB0", 360}, {"", 0},          {"\xB0", 0},
                 {"abc", 0},     {" 12x", 12}, {"-5", 0},         {"99999999999", 360}};
    for (const auto& t : texts)
        EXPECT_EQ(panel::AngleOfText(t.text), t.value) << t.text;
    EXPECT_STREQ(panel::AngleText(400).data(), "360\xB0");
    EXPECT_EQ(panel::StepAngle(45, 1) + panel::StepAngle(360, 1) + panel::StepAngle(0, -1), 46 + 360 + 0);
}

TEST(ProgramPage, SegmentWordsAndPrompts) {
    const struct {
        bool right, incisive, left;
        uint16_t word, prompt;
    } cases[] = {
        {false, false, false, 0x0004, 0}, {true, false, false, 0x1004, 4032}, {false, true, false, 0x2004, 4008},
        {true, true, false, 0x3004, 4025}, {false, false, true, 0x4004, 4033}, {true, false, true, 0x5004, 4031},
        {false, true, true, 0x6004, 4026},  {true, true, true, 0x7004, 4034},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(selection::SegmentWord(c.right, c.incisive, c.left), c.word);
        EXPECT_EQ(selection::SegmentPrompt(c.right, c.incisive, c.left), c.prompt);
    }
    EXPECT_EQ(selection::CommandWord(selection::kGroupAge, 0), 0x0005) << "a child is value 0, not no command";
}

} // namespace
