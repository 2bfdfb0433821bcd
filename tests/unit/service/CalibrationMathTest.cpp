// The calibrations' arithmetic against an independent model of the unit's generator and sensor
// (the emulator's figures: generator kV 0.97 x command + 1.2, mA 1.04 x command - 0.15; sensor kV
// 1.02 x real - 0.5, mA 0.98 x real + 0.05), typed readings and the heating table. The
// tolerances are judged by the calibration dialogs under Wine.
#include "service/CalibrationMath.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <optional>

namespace {

using service::ChainCoefficients;
using service::SeriesReadings;

// A series as the unit at the identity delivers it, worked out from the generator and sensor alone.
struct ModelChain {
    double generatorGain, generatorOffset, sensorGain, sensorOffset;
    double Real(double setPoint) const { return generatorGain * setPoint + generatorOffset; }
    float Sensor(double setPoint) const {
        return static_cast<float>(sensorGain * Real(setPoint) + sensorOffset);
    }
};
constexpr ModelChain kKvModel{0.97, 1.2, 1.02, -0.5};
constexpr ModelChain kMaModel{1.04, -0.15, 0.98, 0.05};

TEST(CalibrationMath, CoefficientsFromTheGeneratorModel) {
    struct Case {
        const char* name;
        ModelChain model;
        float s1, s2;
        const char* typed1;
        const char* typed2;
        const char* shown[4]; // command gain, command offset, measure gain, measure offset
    };
    const Case cases[] = {
        {"kV", kKvModel, 65.0f, 85.0f, "64.25", "83,65", {"1.000", "1.010", "0.980", "0.490"}},
        {"mA", kMaModel, 4.0f, 10.0f, "4.01", "10.25", {"1.000", "-0.079", "1.020", "-0.051"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The meter shows the real output; the operator types it to two decimals.
        EXPECT_NEAR(c.model.Real(c.s1), *service::ParseMeterReading(c.typed1), 1e-9);
        EXPECT_NEAR(c.model.Real(c.s2), *service::ParseMeterReading(c.typed2), 1e-9);
        SeriesReadings r;
        r.setPoints = {c.s1, c.s2};
        r.unitReadings = {c.model.Sensor(c.s1), c.model.Sensor(c.s2)};
        r.meterReadings = {static_cast<float>(*service::ParseMeterReading(c.typed1)),
                           static_cast<float>(*service::ParseMeterReading(c.typed2))};
        const std::optional<ChainCoefficients> k = service::ComputeCoefficients(r);
        ASSERT_TRUE(k);

        // Worked out here: the gain rounded to a float before the offset uses it.
        const double m1 = r.meterReadings[0], m2 = r.meterReadings[1];
        const double p1 = r.unitReadings[0], p2 = r.unitReadings[1];
        const float gain = static_cast<float>((m1 - m2) / (p1 - p2));
        EXPECT_EQ(k->commandGain, 1.0f);
        EXPECT_EQ(k->commandOffset,
                  static_cast<float>(((c.s2 - m2) * c.s1 + (c.s1 - m1) * c.s2) / (c.s1 + c.s2)));
        EXPECT_EQ(k->measureGain, gain);
        EXPECT_EQ(k->measureOffset, static_cast<float>(m1 - static_cast<double>(gain) * p1));
        const float values[4] = {k->commandGain, k->commandOffset, k->measureGain, k->measureOffset};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(service::FixedText(values[i], 3), c.shown[i]) << i;

        // The new measure coefficients map the unit's readings onto the meter's.
        for (int i = 0; i < 2; ++i)
            EXPECT_NEAR(k->measureGain * r.unitReadings[i] + k->measureOffset, r.meterReadings[i], 0.02);
    }
}

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
