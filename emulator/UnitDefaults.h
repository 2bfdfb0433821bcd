// The emulated unit's defaults and limits, in one place: exposure tables per program, patient
// compensation, generator and sensor errors, timings, and the factory contents of the three data blocks.
#pragma once

#include <cstdint>

namespace emu {

// Exposure values as the unit keeps them: kV, mA in tenths, time in hundredths of a second.
struct ExposureValues {
    uint16_t kv = 0;
    uint16_t maTenths = 0;
    uint16_t timeHundredths = 0;
    bool operator==(const ExposureValues&) const = default;
};

struct ExposureLimits {
    ExposureValues min;
    ExposureValues max;
    ExposureValues step;
};

// How a program exposes; one row per program class (see ProgramProfileFor in UnitModel.cpp).
struct ProgramClass {
    const char* name;
    ExposureValues defaults; // adult, normal build
    ExposureLimits limits;
    uint16_t imageCount;  // image layout: sections the unit delivers (0 = no panoramic layout)
    uint16_t imageLength; // image layout: total length shared among them
    float fieldAreaCm2;   // beam area at the receptor, for the dose
};

namespace defaults {

// Panoramic limits shared by every panoramic program; the scan time belongs to the program.
constexpr ExposureLimits kPanoLimits{{60, 20, 0}, {86, 120, 0}, {1, 5, 0}};
constexpr ExposureLimits kCephLimits{{60, 20, 30}, {90, 120, 300}, {1, 5, 10}};

// clang-format off
//                                   name               kV  mA   time       limits        images length  area
constexpr ProgramClass kFullPano    {"panoramic",       {70, 100, 1420}, kPanoLimits,  1, 2588,   7.0f};
constexpr ProgramClass kMolar       {"molar segment",   {70, 100,  430}, kPanoLimits,  1,  974,   7.0f};
constexpr ProgramClass kIncisive    {"incisive",        {68, 100,  290}, kPanoLimits,  1,  640,   7.0f};
constexpr ProgramClass kIncMolar    {"incisive+molar",  {70, 100,  710}, kPanoLimits,  1, 1614,   7.0f};
constexpr ProgramClass kBothMolars  {"both molars",     {70, 100,  860}, kPanoLimits,  2, 1948,   7.0f};
constexpr ProgramClass kTmj2        {"TMJ 2 images",    {68,  80,  820}, kPanoLimits,  2, 1672,   7.0f};
constexpr ProgramClass kTmj4        {"TMJ 4 images",    {68,  80, 1640}, kPanoLimits,  4, 3344,   7.0f};
constexpr ProgramClass kSinus       {"sinus",           {72, 100,  900}, kPanoLimits,  1, 1832,   9.0f};
constexpr ProgramClass kCephLateral {"ceph lateral",    {80, 100,  100}, kCephLimits,  0,    0, 480.0f};
constexpr ProgramClass kCephPa      {"ceph PA",         {84, 100,  120}, kCephLimits,  0,    0, 480.0f};
constexpr ProgramClass kCephAp      {"ceph AP",         {84, 100,  120}, kCephLimits,  0,    0, 480.0f};
constexpr ProgramClass kCephOblique {"ceph oblique",    {70, 100,   80}, kCephLimits,  0,    0, 300.0f};
constexpr ProgramClass kCephSv      {"ceph SV",         {84, 100,  160}, kCephLimits,  0,    0, 480.0f};
constexpr ProgramClass kCephCarpus  {"ceph carpus",     {62, 100,   50}, kCephLimits,  0,    0, 300.0f};
// Calibration programs: the unit imposes the set points, the keys cannot move them.
constexpr ProgramClass kCalKv1      {"kV cal step 1",   {65,  80,  200}, {{65,  80, 200}, {65,  80, 200}, {0, 0, 0}}, 0, 0, 7.0f};
constexpr ProgramClass kCalKv2      {"kV cal step 2",   {85,  80,  200}, {{85,  80, 200}, {85,  80, 200}, {0, 0, 0}}, 0, 0, 7.0f};
constexpr ProgramClass kCalMa1      {"mA cal step 1",   {70,  40,  200}, {{70,  40, 200}, {70,  40, 200}, {0, 0, 0}}, 0, 0, 7.0f};
constexpr ProgramClass kCalMa2      {"mA cal step 2",   {70, 100,  200}, {{70, 100, 200}, {70, 100, 200}, {0, 0, 0}}, 0, 0, 7.0f};
// clang-format on

// Heating calibration: set point i is 60 + 3 i kV, at this current and time.
constexpr int kHeatingPoints = 11;
constexpr uint16_t kHeatingBaseKv = 60;
constexpr uint16_t kHeatingStepKv = 3;
constexpr uint16_t kHeatingMaTenths = 80;
constexpr uint16_t kHeatingTimeHundredths = 100;

// Patient compensation, the preference block's table (rows: adult kV, adult mA %, child kV, child mA %;
// columns: slim, normal, large). The age and build keys apply it to the program's defaults.
constexpr int16_t kCompensation[4][3] = {{-2, 0, 3}, {90, 100, 110}, {-5, -4, -2}, {70, 80, 90}};

// Power-on selection.
constexpr uint8_t kStartProgram = 0x70; // full panoramic
constexpr uint16_t kStartAge = 1;       // adult
constexpr uint16_t kStartBuild = 1;     // normal
constexpr uint16_t kStartNox = 1;       // image acquisition on

// Cycle timings (model time).
constexpr uint32_t kPreparationMs = 1500;      // cycle state 1: arm to the start position, tube ready
constexpr uint32_t kAbortDisplayMs = 2000;     // cycle states 4 to 7 stay visible this long
constexpr uint32_t kLaserOnMs = 30000;         // positioning lasers go out by themselves
constexpr uint32_t kRestartMs = 2500;          // after 0x80 the unit is not ready for this long
constexpr uint32_t kStandCalibrationMs = 8000; // stand travel measured first, hysteresis in the last quarter
constexpr uint32_t kCephSwitchMs = 3000;       // moving the arm to cephalometry, then lateral view selected

// Tube heat: every joule (kV x mA x s) must be cooled off before the next exposure.
constexpr double kCoolingWatts = 150.0;
constexpr double kTubeHeatCapacityJ = 30000.0; // tube load 100 %
constexpr uint16_t kNoWaitingValue = 65535;

// Generator and sensor errors that the calibration table corrects (real = gain x command + offset;
// raw measurement = gain x real + offset).
constexpr double kGenKvGain = 0.97, kGenKvOffset = 1.2;
constexpr double kGenMaGain = 1.04, kGenMaOffset = -0.15;
constexpr double kSensKvGain = 1.02, kSensKvOffset = -0.5;
constexpr double kSensMaGain = 0.98, kSensMaOffset = 0.05;

// Heating value found at set point kV: slope x (kV - 75) + offset, signed.
constexpr double kHeatingSlope = -6.0, kHeatingOffset = 12.0;

// Dose: dose-area product in mGy.cm2 = factor x kV^2 x mAs.
constexpr double kDapPerKv2Mas = 1.5e-4;

// Stand calibration results.
constexpr int16_t kStandTravel = 1523;
constexpr int16_t kStandHysteresis = 12;

// Identification texts (the version is chosen at start).
constexpr const char* kUnitName = "LUMEN 70";
constexpr const char* kDefaultVersion = "2.10";
constexpr const char* kFirmwareDate = "2024-03-18";
constexpr uint8_t kDefaultSlave = 1;

// Factory settings: serial number and option indices.
constexpr const char* kSerialNumber = "L70-00417";
constexpr uint16_t kMainsVoltage = 0, kMainsFrequency = 0, kPanoOption = 1, kCephOption = 1,
                   kTubeReference = 0;
constexpr uint16_t kOptionChoices[5] = {2, 2, 4, 3, 3}; // voltage, frequency, pano, ceph, tube

// Preferences.
constexpr uint16_t kRestPosition = 0, kDoseUnit = 0;

// Block checks: what the unit accepts in its data blocks.
constexpr float kMinGain = 0.5f, kMaxGain = 2.0f;
constexpr float kMaxKvOffset = 20.0f, kMaxMaOffset = 5.0f;
constexpr int16_t kMaxHeating = 1000;
constexpr int16_t kMaxCompensationKv = 15;
constexpr uint16_t kMinCompensationPercent = 50, kMaxCompensationPercent = 200;

} // namespace defaults
} // namespace emu
