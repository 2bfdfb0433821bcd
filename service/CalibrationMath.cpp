// The calibrations' arithmetic: what the dialogs compute, check and show, without a window.
#include "service/CalibrationMath.h"

#include "service/ServiceRules.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace service {

namespace {
constexpr uint8_t kStepCommandCode = 0x04;
constexpr uint8_t kKvChainMode = 5;
constexpr uint8_t kMaChainMode = 6;
constexpr double kKvTolerance = 3.0;
constexpr double kLowMaTolerance = 1.0;
constexpr double kHighMaTolerance = 2.0;
constexpr double kLowMaLimit = 6.3; // mA: set points up to here get the tighter tolerance

// 10^k for k <= 22 is exact in a double, and so is any integer below 2^53: their quotient is then the
// correctly rounded value of the decimal text.
constexpr int kMaxExactDigits = 15;
constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
} // namespace

uint16_t CalibrationStepCommand(bool kv, int step) noexcept {
    const unsigned second = step == 2 ? 1u : 0u;
    const unsigned mode = kv ? kKvChainMode : kMaChainMode;
    return static_cast<uint16_t>(((second << 4) | mode) << 8 | kStepCommandCode);
}

float StepSetPoint(bool kv, const unitlink::ShotResultRecord& shot) noexcept {
    if (kv)
        return static_cast<float>(shot.Kv());
    return static_cast<float>(shot.MilliAmpsTimes10() * 0.1);
}

float UnitReading(bool kv, const unitlink::MeasurementRecord& measurements) noexcept {
    return kv ? measurements.MeasuredKv() : measurements.MeasuredMilliAmps();
}

double StepTolerance(bool kv, float setPoint) noexcept {
    if (kv)
        return kKvTolerance;
    return static_cast<double>(setPoint) <= kLowMaLimit ? kLowMaTolerance : kHighMaTolerance;
}

StepVerdict CheckStep(bool kv, float setPoint, float unitReading, float meterReading) noexcept {
    const double tolerance = StepTolerance(kv, setPoint);
    const float unitDifference = setPoint - unitReading;
    const float meterDifference = setPoint - meterReading;
    auto outside = [tolerance](float difference) {
        // A difference that is not a number is outside every tolerance.
        return !(difference >= -tolerance && difference <= tolerance);
    };
    return {outside(unitDifference), outside(meterDifference)};
}

std::optional<double> ParseTypedNumber(const std::string& typed) {
    const std::string text = typed.substr(0, kNumberTextMax);
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    uint64_t mantissa = 0;
    int digits = 0, decimals = 0;
    bool mark = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (digits == 0 && c == '0' && !mark) // leading zeros carry nothing
                continue;
            if (++digits > kMaxExactDigits)
                return std::nullopt;
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
            if (mark)
                ++decimals;
        } else if ((c == '.' || c == ',') && !mark) {
            mark = true;
        } else {
            break;
        }
    }
    // At least one digit, before or after the mark.
    const std::size_t numberEnd = i;
    bool anyDigit = false;
    for (std::size_t k = 0; k < numberEnd; ++k)
        anyDigit = anyDigit || (text[k] >= '0' && text[k] <= '9');
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (!anyDigit || i != text.size())
        return std::nullopt;
    const double value = static_cast<double>(mantissa) / kPowersOfTen[decimals];
    return negative ? -value : value;
}

std::optional<double> ParseMeterReading(const std::string& text) {
    const std::optional<double> value = ParseTypedNumber(text);
    if (!value || *value < 0)
        return std::nullopt;
    return value;
}

std::string FixedText(double value, int decimals) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return "?";
    std::string shown(text, result.ptr);
    // "-0.000" would suggest a sign the value does not have at this precision.
    if (shown.find_first_not_of("-0.") == std::string::npos && shown[0] == '-')
        shown.erase(0, 1);
    return shown;
}

std::optional<ChainCoefficients> ComputeCoefficients(const SeriesReadings& r) {
    const double s1 = r.setPoints[0], s2 = r.setPoints[1];
    const double p1 = r.unitReadings[0], p2 = r.unitReadings[1];
    const double m1 = r.meterReadings[0], m2 = r.meterReadings[1];
    if (s1 + s2 == 0.0 || p1 == p2)
        return std::nullopt;
    const double commandOffset = ((s2 - m2) * s1 + (s1 - m1) * s2) / (s1 + s2);
    // The gain is stored as a float, and the offset is computed from the value stored.
    const float measureGain = static_cast<float>((m1 - m2) / (p1 - p2));
    const double measureOffset = m1 - static_cast<double>(measureGain) * p1;
    const ChainCoefficients c{1.0f, static_cast<float>(commandOffset), measureGain,
                              static_cast<float>(measureOffset)};
    if (!std::isfinite(c.commandOffset) || !std::isfinite(c.measureGain) || !std::isfinite(c.measureOffset))
        return std::nullopt;
    return c;
}

ChainCoefficients TableCoefficients(const unitlink::CalibrationTable& table, bool kv) noexcept {
    using T = unitlink::CalibrationTable;
    if (kv)
        return {table.GetCoefficient(T::KvCommandGain), table.GetCoefficient(T::KvCommandOffset),
                table.GetCoefficient(T::KvMeasureGain), table.GetCoefficient(T::KvMeasureOffset)};
    return {table.GetCoefficient(T::MaCommandGain), table.GetCoefficient(T::MaCommandOffset),
            table.GetCoefficient(T::MaMeasureGain), table.GetCoefficient(T::MaMeasureOffset)};
}

void SetTableCoefficients(unitlink::CalibrationTable& table, bool kv, const ChainCoefficients& c) noexcept {
    using T = unitlink::CalibrationTable;
    table.SetCoefficient(kv ? T::KvCommandGain : T::MaCommandGain, c.commandGain);
    table.SetCoefficient(kv ? T::KvCommandOffset : T::MaCommandOffset, c.commandOffset);
    table.SetCoefficient(kv ? T::KvMeasureGain : T::MaMeasureGain, c.measureGain);
    table.SetCoefficient(kv ? T::KvMeasureOffset : T::MaMeasureOffset, c.measureOffset);
}

HeatingTick HeatingFollower::Tick(bool cycleRunning, int index) noexcept {
    HeatingTick tick;
    if (index < 0 || index >= kRows)
        return tick;
    if (cycleRunning) {
        if (m_rowCounter != index)
            ++m_rowCounter;
    } else if (index > 0) {
        if (m_rowCounter == kRows - 1) {
            tick.doneRow = index;
            tick.barPosition = kRows;
        } else {
            tick.doneRow = index - 1;
            tick.barPosition = index;
        }
    }
    tick.valueRows[0] = index;
    if (index > 0)
        tick.valueRows[1] = index - 1;
    return tick;
}

int HeatingIndex(const unitlink::SelectionRecord& selection) noexcept {
    return selection.ProgramCode() >> 4;
}

std::optional<int16_t> ParseStandValue(const std::string& text) {
    // The signed rows of the compensation table follow the same rule: a whole number in 16 bits.
    const std::optional<uint16_t> word = CompensationCellWord(text, 0);
    if (!word)
        return std::nullopt;
    return static_cast<int16_t>(*word);
}

} // namespace service
