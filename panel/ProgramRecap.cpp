// The program recap as tables: families and segment combinations of the panoramic designs, views of the
// cephalometric design, and the program fields they write into the shot records.
#include "panel/ProgramRecap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace panel {
namespace {

// Panoramic program codes and the names of the language library.
constexpr uint16_t kCodeFullPanoramic = 180;
constexpr uint16_t kCodeTmjTwo = 187, kCodeTmjFour = 188, kCodeSinus = 189;
constexpr uint16_t kCodePhantom = 190, kCodeStatic = 191, kCodeFamily10 = 198, kCodeFamily11 = 199;
constexpr uint16_t kCodeFamily12 = 200, kCodeFamily13 = 201;
constexpr uint16_t kNameFullPanoramic = 4001, kNameTmjTwo = 4008, kNameTmjFour = 4009, kNameSinus = 4010;
constexpr uint16_t kNamePhantom = 4011, kNameStatic = 4012;
// Cephalometric record codes of the two cephalometric families that have one of their own.
constexpr uint16_t kCodeCephFamily14 = 202, kCodeCephFamily15 = 203;

constexpr ImageSections Sections1(uint16_t width) {
    return {1, {{{0, width}}}};
}
constexpr ImageSections kTmjTwoSections{2, {{{0, 836}, {886, 836}}}};
constexpr ImageSections kTmjFourSections{4, {{{0, 836}, {886, 836}, {1772, 836}, {2658, 836}}}};

// Segment combinations by variant: bit 1 right molar, 2 incisive, 4 left molar. A lit molar lights the
// TMJ lamp of its side too. Variant 7 (all three) is the full panoramic, named and coded apart.
struct SegmentRow {
    uint8_t pairs;
    ImageSections sections;
    uint16_t code; // 0: variant 7, coded only in family 0
    uint16_t nameId;
};
constexpr SegmentRow kSegments[8] = {
    {0, {}, 0, 0}, // no segment: nothing
    {kPairRightMolar | kPairTmjRight, Sections1(974), 181, 4002},
    {kPairIncisive, Sections1(640), 182, 4003},
    {kPairIncisive | kPairRightMolar | kPairTmjRight, Sections1(1614), 183, 4004},
    {kPairLeftMolar | kPairTmjLeft, Sections1(974), 184, 4005},
    {kPairRightMolar | kPairLeftMolar | kPairTmjLeft | kPairTmjRight, {2, {{{0, 974}, {1024, 974}}}}, 185, 4006},
    {kPairIncisive | kPairLeftMolar | kPairTmjLeft, Sections1(1614), 186, 4007},
    {kPairRightMolar | kPairIncisive | kPairLeftMolar | kPairTmjLeft | kPairTmjRight, Sections1(2588), 0,
     kNameFullPanoramic},
};

void Segments(PanoramicRecap& recap, unsigned family, unsigned variant) {
    recap.x4 = X4Caption::Hide;
    if (variant == 0 || variant >= std::size(kSegments))
        return;
    const SegmentRow& row = kSegments[variant];
    recap.pairs = row.pairs;
    recap.sections = row.sections;
    if (row.code != 0)
        recap.code = row.code;
    else if (family == 0)
        recap.code = kCodeFullPanoramic;
    recap.nameId = row.nameId;
}

// Cephalometric views by variant: page key, recap state, angle display state, record code, name.
struct ViewRow {
    int key;
    int recapState;
    bool angleHidden;
    uint16_t code; // 0: the AP view, coded only in family 3
    AngleWord angle;
    uint16_t nameId;
};
constexpr ViewRow kViews[6] = {
    {1119, 2, true, 194, AngleWord::Zero, 4015},         // lateral
    {1114, 4, true, 193, AngleWord::Zero, 4014},         // PA
    {1111, 0, true, 0, AngleWord::Zero, 4013},           // AP
    {1113, 3, false, 195, AngleWord::FromDisplay, 4016}, // oblique
    {1115, 5, true, 196, AngleWord::Zero, 4017},         // SV
    {1112, 1, true, 197, AngleWord::Zero, 4018},         // carpus
};
constexpr uint16_t kCodeCephAp = 192;
constexpr unsigned kCephFamily = 3;

// Families 8 to 11 (phantom, static and two without a name of their own, whose previous name stays):
// no segment and no view, the same code and name in every design. False for any other family.
bool PlainProgram(unsigned family, std::optional<uint16_t>& code, std::optional<uint16_t>& nameId) {
    constexpr struct { uint16_t code, nameId; } kPlain[4] = {
        {kCodePhantom, kNamePhantom}, {kCodeStatic, kNameStatic}, {kCodeFamily10, 0}, {kCodeFamily11, 0}};
    if (family < 8 || family > 11)
        return false;
    code = kPlain[family - 8].code;
    if (kPlain[family - 8].nameId)
        nameId = kPlain[family - 8].nameId;
    return true;
}

void PutU16(uint8_t* at, uint16_t value) noexcept {
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void PutName(uint8_t* pano, std::string_view name) noexcept {
    uint8_t* field = pano + kPanoNameOffset;
    const std::size_t length = std::min(name.size(), kPanoNameSize - 1);
    std::memcpy(field, name.data(), length);
    std::memset(field + length, 0, kPanoNameSize - length);
}

} // namespace

PanoramicRecap PanoramicRecapOf(uint8_t programCode) noexcept {
    const unsigned family = programCode & 0x0F;
    const unsigned variant = programCode >> 4;
    PanoramicRecap recap;
    switch (family) {
    case 0:
        Segments(recap, family, variant);
        break;
    case 1:
        // Variants from 3 on are no TMJ program the unit has: everything stays off and "x4" as it is.
        if (variant <= 2) {
            const bool four = variant != 0;
            recap.x4 = four ? X4Caption::Show : X4Caption::Hide;
            recap.pairs = kPairTmjRight | kPairTmjLeft;
            recap.tmjImages = four ? 2 : 1;
            recap.sections = four ? kTmjFourSections : kTmjTwoSections;
            recap.code = four ? kCodeTmjFour : kCodeTmjTwo;
            recap.nameId = four ? kNameTmjFour : kNameTmjTwo;
        }
        break;
    case 2:
        recap.x4 = X4Caption::Hide;
        recap.pairs = kPairSinus;
        recap.sections = Sections1(1832);
        recap.code = kCodeSinus;
        recap.nameId = kNameSinus;
        break;
    case 12:
    case 13:
        // Segment programs of their own code, which a single segment combination replaces.
        recap.code = family == 12 ? kCodeFamily12 : kCodeFamily13;
        Segments(recap, family, variant);
        break;
    default:
        recap.x4 = X4Caption::Hide;
        PlainProgram(family, recap.code, recap.nameId);
        break;
    }
    return recap;
}

CephalometricRecap CephalometricRecapOf(uint8_t programCode) noexcept {
    const unsigned family = programCode & 0x0F;
    const unsigned variant = programCode >> 4;
    CephalometricRecap recap;
    recap.x4 = X4Caption::Hide;
    if (PlainProgram(family, recap.panoCode, recap.nameId))
        return recap;
    switch (family) {
    case 14:
    case 15:
        recap.cephCode = family == 14 ? kCodeCephFamily14 : kCodeCephFamily15;
        break;
    case kCephFamily:
        break;
    default:
        return recap;
    }
    if (variant >= std::size(kViews))
        return recap;
    const ViewRow& view = kViews[variant];
    recap.litKey = view.key;
    recap.recapState = view.recapState;
    recap.angleHidden = view.angleHidden;
    if (view.code != 0)
        recap.cephCode = view.code;
    else if (family == kCephFamily)
        recap.cephCode = kCodeCephAp;
    recap.angle = view.angle;
    recap.nameId = view.nameId;
    return recap;
}

int AngleOfText(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long>(value * 10 + (text[i] - '0'), kAngleMax + 1L);
    return static_cast<int>(std::clamp<long>(negative ? -value : value, kAngleMin, kAngleMax));
}

std::array<char, 8> AngleText(int degrees) noexcept {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%d\xB0", std::clamp(degrees, kAngleMin, kAngleMax));
    return text;
}

int StepAngle(int degrees, int step) noexcept {
    return std::clamp(degrees + step, kAngleMin, kAngleMax);
}

void WritePanoramicFields(uint8_t* pano, const PanoramicRecap& recap, std::string_view name) noexcept {
    if (!pano)
        return;
    if (recap.code)
        PutU16(pano + kPanoCodeOffset, *recap.code);
    if (recap.nameId)
        PutName(pano, name);
    const std::size_t count = std::min<std::size_t>(recap.sections.count, kMaxImageSections);
    if (count == 0)
        return;
    PutU16(pano + kPanoSectionCountOffset, recap.sections.count);
    for (std::size_t k = 0; k < count; ++k) {
        PutU16(pano + kPanoSectionsOffset + 4 * k, recap.sections.sections[k].offset);
        PutU16(pano + kPanoSectionsOffset + 4 * k + 2, recap.sections.sections[k].width);
    }
}

void WriteCephalometricFields(uint8_t* pano, uint8_t* ceph, const CephalometricRecap& recap, std::string_view name,
                              int angle) noexcept {
    if (pano) {
        if (recap.panoCode)
            PutU16(pano + kPanoCodeOffset, *recap.panoCode);
        if (recap.nameId)
            PutName(pano, name);
    }
    if (!ceph)
        return;
    if (recap.cephCode)
        PutU16(ceph + kCephCodeOffset, *recap.cephCode);
    if (recap.angle != AngleWord::Keep)
        PutU16(ceph + kCephAngleOffset,
               static_cast<uint16_t>(recap.angle == AngleWord::FromDisplay ? std::clamp(angle, kAngleMin, kAngleMax)
                                                                            : 0));
}

} // namespace panel
