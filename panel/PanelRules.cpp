// The panel's pure rules; no platform header, tested natively.
#include "panel/PanelRules.h"

#include <cmath>
#include <cstdio>

namespace panel {
namespace {

constexpr uint32_t kStartPgmForcedProgram = 1u << 24;
constexpr uint32_t kStartPgmFirstServiceProgram = 0x3000001;
// The start-up selections, in the unit's words.
constexpr ProgramSelect kPanoramicAllSegments{0, 7};
constexpr ProgramSelect kTmjFourImages{1, 1};
constexpr ProgramSelect kCephalometricView{3, 0};
constexpr int kTmjFamily = 1;
constexpr int kTmjSecondFourImageVariant = 2;

// Families grouped by what the start-up alignment does with them.
enum class FamilyGroup { Panoramic, Cephalometric, SwitchToCeph, Service };
FamilyGroup GroupOf(int family) {
    switch (family) {
    case 0:
    case 1:
    case 2:
    case 8:
    case 9:
        return FamilyGroup::Panoramic;
    case 3:
    case 10:
    case 11:
        return FamilyGroup::Cephalometric;
    case 4:
        return FamilyGroup::SwitchToCeph;
    default:
        return FamilyGroup::Service;
    }
}

// Beyond this the displays have no room; it also keeps the scaled value inside an exact integer.
constexpr double kLargestShown = 1e12;

// A value the displays can show: anything not finite or out of reach counts as 0, before the number
// of decimals is chosen from it.
float Shown(float value) {
    return std::isfinite(value) && std::fabs(value) <= kLargestShown ? value : 0.0f;
}

} // namespace

uint16_t SelectWord(int first, int second) noexcept {
    const unsigned code =
        (static_cast<unsigned>(second) * 16u + (static_cast<unsigned>(first) & 15u)) & 0xFFu;
    return static_cast<uint16_t>(0x04u + 256u * code);
}

std::optional<ProgramSelect> StartAlignment(uint32_t startPgm, uint8_t programCode, uint8_t mode) noexcept {
    const bool panoramic = mode != 0;
    const bool modeExactlyOne = mode == 1;
    if (startPgm & kStartPgmForcedProgram) {
        const bool first = startPgm == kStartPgmFirstServiceProgram;
        if (!panoramic)
            return ProgramSelect{first ? 14 : 15, 0};
        if (modeExactlyOne)
            return ProgramSelect{first ? 12 : 13, 0};
        return std::nullopt;
    }
    const int family = programCode & 0x0F;
    const int variant = programCode >> 4;
    switch (GroupOf(family)) {
    case FamilyGroup::Panoramic:
        if (!panoramic)
            return kCephalometricView;
        if (family == kTmjFamily && variant == kTmjSecondFourImageVariant)
            return kTmjFourImages;
        return std::nullopt;
    case FamilyGroup::Cephalometric:
        if (panoramic)
            return kPanoramicAllSegments;
        return std::nullopt;
    case FamilyGroup::SwitchToCeph:
        return std::nullopt;
    case FamilyGroup::Service:
        if (!panoramic)
            return kCephalometricView;
        if (modeExactlyOne)
            return kPanoramicAllSegments;
        return std::nullopt;
    }
    return std::nullopt;
}

std::string FormatFixed(double value, int decimals) {
    if (decimals < 0)
        decimals = 0;
    if (decimals > 3)
        decimals = 3;
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    if (!std::isfinite(value) || std::fabs(value) > kLargestShown)
        value = 0.0;
    // A float times 10^d (d <= 3) is exact in a double, so this rounds the exact value.
    const int64_t scaled = static_cast<int64_t>(std::round(value * static_cast<double>(scale)));
    const uint64_t magnitude = static_cast<uint64_t>(scaled < 0 ? -scaled : scaled);
    std::string text = scaled < 0 ? "-" : "";
    text += std::to_string(magnitude / static_cast<uint64_t>(scale));
    if (decimals > 0) {
        std::string fraction = std::to_string(magnitude % static_cast<uint64_t>(scale));
        text += '.';
        text.append(static_cast<size_t>(decimals) - fraction.size(), '0');
        text += fraction;
    }
    return text;
}

std::string FormatKv(uint16_t kv) {
    return std::to_string(kv);
}

std::string FormatMilliAmps(float milliAmps) {
    milliAmps = Shown(milliAmps);
    return FormatFixed(milliAmps, milliAmps < 10.0f ? 1 : 0);
}

std::string FormatSeconds(float seconds, bool panoramic) {
    return FormatFixed(Shown(seconds), panoramic ? 1 : 2);
}

std::string FormatDose(float dose) {
    dose = Shown(dose);
    if (dose < 10.0f)
        return FormatFixed(dose, 2);
    if (dose < 100.0f)
        return FormatFixed(dose, 1);
    return FormatFixed(dose, 0);
}

std::string FormatWaitingTime(uint16_t seconds) {
    char text[16];
    std::snprintf(text, sizeof text, "%.2d:%.2d", seconds / 60, seconds % 60);
    return text;
}

std::string NextWaitingMarker(const std::string& shown) {
    constexpr size_t kPlaces = 5;
    size_t next = 0;
    const bool timeShown = shown.size() >= 3 && shown[2] == ':';
    if (!timeShown) {
        const size_t at = shown.find('>');
        if (at != std::string::npos && at < kPlaces)
            next = (at + 1) % kPlaces;
    }
    std::string marker(kPlaces, ' ');
    marker[next] = '>';
    return marker;
}

std::optional<InfoMessage> InfoSlot(int slot, uint16_t c) noexcept {
    const auto field = [c](int shift) { return (c >> shift) & 3; };
    switch (slot) {
    case 0:
        if (field(6) == 1 || field(6) == 2)
            return InfoMessage{4027, 4224, 10};
        break;
    case 1:
        if (c & 0x0004)
            return InfoMessage{4040, 4218, 3};
        break;
    case 2:
        if (field(4) == 1)
            return InfoMessage{4041, 4220, 7};
        if (field(4) == 2)
            return InfoMessage{4021, 4222, 8};
        break;
    case 3:
        if (c & 0x8000)
            return InfoMessage{4022, 4210, 15};
        break;
    case 4:
        if (field(8) == 1 || field(8) == 2)
            return InfoMessage{4028, 4236, 4};
        if (field(8) == 3)
            return InfoMessage{4017, 4240, 12};
        break;
    case 5:
        if (field(10) == 1 || field(10) == 2)
            return InfoMessage{4029, 4238, 5};
        break;
    case 6:
        if (c & 0x0008)
            return InfoMessage{4024, 4232, 6};
        break;
    case 7:
        if (c & 0x1000)
            return InfoMessage{4038, 4242, 9};
        break;
    case 8:
        if (field(13) == 1)
            return InfoMessage{0, 4226, 13};
        if (field(13) == 2)
            return InfoMessage{0, 4228, 14};
        break;
    case 9:
        if (field(0) == 1)
            return InfoMessage{4039, 4216, 1};
        if (field(0) == 2)
            return InfoMessage{4045, 4230, 2};
        break;
    case kUserTextSlot:
        return InfoMessage{};
    default:
        break;
    }
    return std::nullopt;
}

CycleStep CycleStepOf(int cycleState) noexcept {
    switch (cycleState) {
    case 0:
        return CycleStep::Ended;
    case 1:
    case 4:
    case 5:
    case 6:
    case 7:
        return CycleStep::Cleared;
    case 2:
        return CycleStep::Started;
    default:
        return CycleStep::None;
    }
}

} // namespace panel
