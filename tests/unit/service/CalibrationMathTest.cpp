// The calibrations' arithmetic where the dialogs under Wine do not reach: readings that cannot give a
// calibration, typed numbers whatever the locale, the heating index and the stand entries. The
// coefficients and tolerances of a whole run are checked there against the emulator's generator model.
#include "service/CalibrationMath.h"

#include <gtest/gtest.h>

#include <clocale>
#include <optional>

namespace {

using service::SeriesReadings;

TEST(CalibrationMath, ReadingsThatCannotGiveACalibrationAreRefused) {
    SeriesReadings sameReading;
    sameReading.setPoints = {65, 85};
    sameReading.unitReadings = {70, 70};
    sameReading.meterReadings = {64, 84};
    EXPECT_FALSE(service::ComputeCoefficients(sameReading));
    SeriesReadings oppositeSetPoints = sameReading;
    oppositeSetPoints.unitReadings = {64, 84};
    oppositeSetPoints.setPoints = {5, -5};
    EXPECT_FALSE(service::ComputeCoefficients(oppositeSetPoints));
    oppositeSetPoints.setPoints = {65, 85};
    oppositeSetPoints.unitReadings = {1e-38f, 2e-38f}; // a gain beyond any float
    EXPECT_FALSE(service::ComputeCoefficients(oppositeSetPoints));
}

TEST(CalibrationMath, TypedNumbersWhateverTheLocale) {
    struct Case {
        const char* text;
        std::optional<double> meter;
    };
    const Case cases[] = {
        {"64,25", 64.25},      {" 83.65 ", 83.65},          {"+7", 7.0},
        {".5", 0.5},           {"", std::nullopt},          {"64.2.5", std::nullopt},
        {"64x", std::nullopt}, {"-64.25", std::nullopt},    {".", std::nullopt},
        {"1e3", std::nullopt}, {"64.25          9", 64.25}, // only the field's first 15 characters are read
    };
    // A locale with a decimal comma, as a host may have set, changes nothing.
    const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(service::ParseMeterReading(c.text), c.meter);
    }
    EXPECT_EQ(service::ParseTypedNumber("-0,079"), -0.079);
    EXPECT_EQ(service::FixedText(-0.0786, 3), "-0.079");
    EXPECT_EQ(service::FixedText(-0.0001, 3), "0.000");
    if (german)
        std::setlocale(LC_NUMERIC, "C");
}

// The eleven exposures are followed against the emulator under Wine; here an index beyond the rows.
TEST(CalibrationMath, HeatingIndexBeyondTheRowsAddressesNothing) {
    service::HeatingFollower follower;
    EXPECT_EQ(follower.Tick(false, 0).doneRow, -1) << "index 0 before any exposure marks nothing";
    for (int index : {11, -1}) {
        const service::HeatingTick t = follower.Tick(true, index);
        EXPECT_EQ(t.doneRow, -1);
        EXPECT_EQ(t.valueRows[0], -1);
    }
}

TEST(CalibrationMath, StandEntries) {
    EXPECT_EQ(service::ParseStandValue("-12"), int16_t{-12});
    EXPECT_FALSE(service::ParseStandValue("70000") || service::ParseStandValue("abc"));
}

} // namespace
