// The calibrations' arithmetic, free of any window: step command words, set points, tolerances, the
// meter readings as typed, the kV/mA coefficients, the heating table's progress and the stand entries.
#pragma once

#include "link/DataBlocks.h"
#include "link/Records.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace service {

// At most this many characters of a typed number are taken from its field.
inline constexpr std::size_t kNumberTextMax = 15;

// The word that starts step 1 or 2 of the kV or mA chain: 0x0504, 0x1504, 0x0604, 0x1604.
uint16_t CalibrationStepCommand(bool kv, int step) noexcept;

// The step's set point from the shot record the unit prepared: kV at byte 0, mA at byte 2 in tenths.
float StepSetPoint(bool kv, const unitlink::ShotResultRecord& shot) noexcept;

// The unit's own reading of the last exposure: the measurement float at byte 4 (kV) or 8 (mA).
float UnitReading(bool kv, const unitlink::MeasurementRecord& measurements) noexcept;

// How far a reading may lie from the set point: 3 kV; 1 mA up to 6.3 mA, 2 mA above. The set point
// is compared as stored (single precision) with the double 6.3, so 6.3 mA itself gets 2 mA.
double StepTolerance(bool kv, float setPoint) noexcept;

// The two checks of a step, both differences taken in single precision; a difference equal to the
// tolerance passes.
struct StepVerdict {
    bool unitOutside = false;  // the generator itself is off: the step is refused
    bool meterOutside = false; // the meter or its reading is off: the step is refused
    bool Accepted() const noexcept { return !unitOutside && !meterOutside; }
};
StepVerdict CheckStep(bool kv, float setPoint, float unitReading, float meterReading) noexcept;

// A number as typed by the operator: blanks around it, an optional sign, digits with a point or a
// comma as decimal mark, read the same whatever the process locale. Nothing for empty, non-numeric or
// partly numeric text. Only the first kNumberTextMax characters count, as the field is read.
std::optional<double> ParseTypedNumber(const std::string& text);
// A meter reading: a typed number that is not negative.
std::optional<double> ParseMeterReading(const std::string& text);

// A coefficient or reading as the dialogs show it ("%.3f", "%.2f", "%.1f"), always with a point.
std::string FixedText(double value, int decimals);

// The four coefficients of one chain, in the dialog's order.
struct ChainCoefficients {
    float commandGain = 1.0f;
    float commandOffset = 0.0f;
    float measureGain = 1.0f;
    float measureOffset = 0.0f;
};

// The two steps of a series: set points S, unit readings P, meter readings M (index 0 = step 1).
struct SeriesReadings {
    std::array<float, 2> setPoints{};
    std::array<float, 2> unitReadings{};
    std::array<float, 2> meterReadings{};
};

// The new coefficients: the command offset moves the set points onto what the meter read, the
// measure gain and offset map the unit's readings onto the meter's. Nothing when the readings cannot
// give a calibration (equal unit readings, set points summing to zero, or a result that is not a
// finite number).
std::optional<ChainCoefficients> ComputeCoefficients(const SeriesReadings& readings);

// The chain's coefficients in the calibration table, and back.
ChainCoefficients TableCoefficients(const unitlink::CalibrationTable& table, bool kv) noexcept;
void SetTableCoefficients(unitlink::CalibrationTable& table, bool kv, const ChainCoefficients& c) noexcept;

// Follows the unit through the heating calibration. The unit reports the index of the set point it
// works on; the row counter follows it during each exposure, so that once the last exposure has
// ended the last row can be told apart from the one before.
struct HeatingTick {
    int doneRow = -1;         // row to mark done, -1 for none
    int barPosition = -1;     // new progress position, -1 to keep it
    int valueRows[2] = {-1, -1}; // rows whose heating value is shown again, -1 for none
};
class HeatingFollower {
public:
    static constexpr int kRows = unitlink::CalibrationTable::kHeatingEntries;

    // One look at the unit: whether a cycle runs and the set-point index. An index the table has no
    // row for changes nothing.
    HeatingTick Tick(bool cycleRunning, int index) noexcept;
    int RowCounter() const noexcept { return m_rowCounter; }

private:
    int m_rowCounter = 0;
};

// The set-point index the unit reports during the heating calibration: the program code's variant.
int HeatingIndex(const unitlink::SelectionRecord& selection) noexcept;

// The unit's cycle bits in the state word.
inline constexpr uint16_t kCycleStateMask = 0x3C;
inline bool CycleRunning(uint16_t state) noexcept { return (state & kCycleStateMask) != 0; }
// The cycle states 4 to 7: the exposure was stopped before its end.
inline bool CycleInterrupted(uint16_t state) noexcept { return ((state & kCycleStateMask) >> 2) >= 4; }

// A stand register as typed: a whole number that fits its signed 16-bit register.
std::optional<int16_t> ParseStandValue(const std::string& text);

} // namespace service
