// The emulated unit: register images of both protocol versions, command words, cycle timeline, blocks.
#include "emulator/UnitModel.h"

#include "emulator/UnitBytes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace emu {

namespace {

namespace d = defaults;

// Byte offsets from the register base that differ between the two protocol versions.
struct Layout {
    uint16_t selection, selectionWords, shot, shotWords, measurement, cooling, general, acquisition, nox,
        image, linkCounters;
};
// acquisition and nox are 0 where the version has no such register (protocol 1 keeps NOX in the
// selection's seventh word).
constexpr Layout kLayoutV1{36, 7, 50, 5, 60, 76, 78, 0, 0, 80, 88};
constexpr Layout kLayoutV2{36, 6, 48, 11, 70, 86, 88, 90, 92, 94, 102};

// Writable areas of the register base (byte offset, words).
constexpr uint16_t kCommandOffset = 128;
constexpr uint16_t kFactoryOffset = 130;
constexpr uint16_t kCalibrationOffset = 162;
constexpr uint16_t kPreferenceOffset = 242;
constexpr uint16_t kUnitTextOffset = 282;
constexpr uint16_t kDisplayCodeOffset = 322;
constexpr uint16_t kBaseWords = 163; // through the display code

// Calibration table registers.
constexpr int kRegTravel = 0, kRegHysteresis = 1;
constexpr int kRegKvMeasGain = 7, kRegKvMeasOffset = 9, kRegKvCmdGain = 11, kRegKvCmdOffset = 13;
constexpr int kRegMaMeasGain = 15, kRegMaMeasOffset = 17, kRegMaCmdGain = 19, kRegMaCmdOffset = 21;
constexpr int kRegHeating = 23;

constexpr uint16_t kBlockErrorCal = 54, kBlockErrorFactory = 56, kBlockErrorPrefs = 57;

// A float spans two registers, the lower address holding the low 16 bits.
void PutFloat(uint8_t* bytes, size_t offset, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    PutWord(bytes, offset, static_cast<uint16_t>(bits & 0xFFFF));
    PutWord(bytes, offset + 2, static_cast<uint16_t>(bits >> 16));
}
float GetFloat(const uint8_t* bytes, size_t offset) {
    const uint32_t bits = GetWord(bytes, offset) | (static_cast<uint32_t>(GetWord(bytes, offset + 2)) << 16);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}
void PutFloatWords(uint16_t* words, size_t index, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    words[index] = static_cast<uint16_t>(bits & 0xFFFF);
    words[index + 1] = static_cast<uint16_t>(bits >> 16);
}
void PutText(uint8_t* field, size_t size, std::string_view text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

int16_t HeatingValueAt(double kv) {
    return static_cast<int16_t>(std::lround(d::kHeatingSlope * (kv - 75.0) + d::kHeatingOffset));
}

uint16_t RoundToStep(double value, uint16_t step) {
    if (step == 0)
        return static_cast<uint16_t>(std::lround(value));
    return static_cast<uint16_t>(std::lround(value / step) * step);
}

uint16_t ClampStep(long value, uint16_t min, uint16_t max) {
    return static_cast<uint16_t>(std::clamp<long>(value, min, max));
}

std::string Hex(const uint8_t* bytes, size_t size) {
    std::string text;
    char buffer[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", bytes[i]);
        text += buffer;
    }
    return text;
}
bool Unhex(const std::string& text, uint8_t* bytes, size_t size) {
    if (text.size() != size * 2)
        return false;
    for (size_t i = 0; i < size; ++i) {
        unsigned value = 0;
        for (int k = 0; k < 2; ++k) {
            const char c = text[2 * i + k];
            const int nibble = (c >= '0' && c <= '9')   ? c - '0'
                               : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                               : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                        : -1;
            if (nibble < 0)
                return false;
            value = value * 16 + static_cast<unsigned>(nibble);
        }
        bytes[i] = static_cast<uint8_t>(value);
    }
    return true;
}

bool IsBlockError(uint16_t code) {
    return code == kBlockErrorCal || code == kBlockErrorFactory || code == kBlockErrorPrefs;
}

} // namespace

UnitModel::UnitModel(Clock& clock, std::string_view version) : m_clock(clock) {
    m_version = IsValidVersion(version) ? std::string(version) : std::string(d::kDefaultVersion);
    const int major = std::atoi(m_version.c_str());
    m_protocol = (major == 2 || major == 3) ? 2 : 1;
    // Units before 1.02 report no TMJ image layout: the host keeps the sections the panel wrote.
    const size_t point = m_version.find('.');
    const int hundredths = point == std::string::npos ? 0 : std::atoi(m_version.substr(point + 1, 2).c_str());
    m_imageLayout = major > 1 || (major == 1 && hundredths >= 2);
    m_nowMs = m_clock.NowMs();
    m_startMs = m_nowMs;

    PutText(&m_identification[0], 12, d::kUnitName);
    PutText(&m_identification[12], 6, m_version);
    PutText(&m_identification[18], 12, d::kFirmwareDate);
    std::fill(m_unitText.begin(), m_unitText.end() - 1, ' ');
    std::fill(m_hostText.begin(), m_hostText.end() - 1, ' ');
    m_displayCode = {' ', ' ', ' ', 0};

    for (Block block : {Block::Calibration, Block::Factory, Block::Preferences})
        SetDefaultBlock(block);
    ApplyProgramDefaults();
}

bool UnitModel::IsValidVersion(std::string_view version) {
    if (version.empty() || version.size() > 5 || version[0] < '0' || version[0] > '9')
        return false;
    int points = 0;
    for (char c : version) {
        if (c == '.')
            ++points;
        else if (c < '0' || c > '9')
            return false;
    }
    return points <= 1;
}

// ---------------------------------------------------------------------------------------------------
// Timeline

void UnitModel::Update() {
    AdvanceTo(m_clock.NowMs());
}

void UnitModel::AdvanceTo(uint64_t nowMs) {
    if (nowMs < m_nowMs)
        nowMs = m_nowMs;
    // Play the deadlines in time order, so that a long step gives the same result as many short ones.
    for (;;) {
        uint64_t next = UINT64_MAX;
        auto consider = [&](bool armed, uint64_t at) {
            if (armed && at < next)
                next = at;
        };
        consider(m_cycle != kCycleIdle, m_phaseEndMs);
        consider(m_releaseAtMs.has_value(), m_releaseAtMs.value_or(0));
        consider(m_laserOffMs != 0, m_laserOffMs);
        consider(m_restartEndMs != 0, m_restartEndMs);
        consider(m_cephSwitchEndMs != 0, m_cephSwitchEndMs);
        consider(m_standRunning, m_standStartMs + d::kStandCalibrationMs);
        if (next > nowMs)
            break;
        m_nowMs = next;

        if (m_cycle != kCycleIdle && m_phaseEndMs == next) {
            if (m_cycle == kCyclePreparing)
                StartEmission();
            else if (m_cycle == kCycleEmitting)
                CompleteCycle(m_phaseEndMs - m_emissionStartMs);
            else
                m_cycle = kCycleIdle;
        } else if (m_releaseAtMs && *m_releaseAtMs == next) {
            m_releaseAtMs.reset();
            m_switchHeld = false;
            if (m_cycle == kCyclePreparing)
                AbortCycle(kCycleAbortPreparation);
            else if (m_cycle == kCycleEmitting) {
                RecordShot(m_cycleValues, m_nowMs - m_emissionStartMs);
                AbortCycle(kCycleAbortEmission);
            }
        } else if (m_laserOffMs == next) {
            m_laserOffMs = 0;
        } else if (m_restartEndMs == next) {
            m_restartEndMs = 0;
        } else if (m_cephSwitchEndMs == next) {
            m_cephSwitchEndMs = 0;
            m_program = 0x03; // arrived: lateral view
            ApplyProgramDefaults();
        } else if (m_standRunning) {
            m_standRunning = false;
            PutWord(m_cal.data(), 2 * kRegTravel, static_cast<uint16_t>(d::kStandTravel));
            PutWord(m_cal.data(), 2 * kRegHysteresis, static_cast<uint16_t>(d::kStandHysteresis));
        }
    }
    m_nowMs = nowMs;

    if (m_standRunning) {
        // Travel is measured while the stand runs end to end, the hysteresis in the last quarter.
        const double elapsed = static_cast<double>(m_nowMs - m_standStartMs);
        const double travelSpan = 0.75 * d::kStandCalibrationMs;
        const double travel = d::kStandTravel * std::min(1.0, elapsed / travelSpan);
        const double hysteresis = elapsed <= travelSpan ? 0.0
                                                        : d::kStandHysteresis * (elapsed - travelSpan) /
                                                              (d::kStandCalibrationMs - travelSpan);
        PutWord(m_cal.data(), 2 * kRegTravel, static_cast<uint16_t>(static_cast<int16_t>(travel)));
        PutWord(m_cal.data(), 2 * kRegHysteresis, static_cast<uint16_t>(static_cast<int16_t>(hysteresis)));
    }
}

// ---------------------------------------------------------------------------------------------------
// Programs and exposure values

UnitModel::Profile UnitModel::ProfileFor(uint8_t program) const {
    const unsigned family = program & 0x0F;
    const unsigned variant = program >> 4;
    Profile p;
    auto pano = [&](const ProgramClass& cls) {
        p.valid = p.exposes = p.compensated = true;
        p.cls = cls;
        p.noxFromOperator = true;
    };
    auto ceph = [&](const ProgramClass& cls) {
        p.valid = p.exposes = p.compensated = true;
        p.cls = cls;
        p.nox = 2;
    };
    static constexpr const ProgramClass* kSegments[8] = {nullptr,       &d::kMolar,   &d::kIncisive,
                                                         &d::kIncMolar, &d::kMolar,   &d::kBothMolars,
                                                         &d::kIncMolar, &d::kFullPano};
    static constexpr const ProgramClass* kViews[6] = {&d::kCephLateral, &d::kCephPa, &d::kCephAp,
                                                      &d::kCephOblique, &d::kCephSv, &d::kCephCarpus};
    switch (family) {
    case 0: // panoramic segments by their bits; no bit = no program
        if (variant == 0) {
            p.valid = true;
            p.noxFromOperator = true;
        } else if (variant < 8) {
            pano(*kSegments[variant]);
        }
        break;
    case 1:
        if (variant == 0)
            pano(d::kTmj2);
        else if (variant <= 2)
            pano(d::kTmj4);
        break;
    case 2:
        if (variant == 0)
            pano(d::kSinus);
        break;
    case 3:
    case 14:
    case 15:
        if (variant < 6)
            ceph(*kViews[variant]);
        break;
    case 4: // switch to cephalometry: the arm moves, nothing to expose
        if (variant == 0)
            p.valid = true;
        break;
    case 5:
    case 6:
        if (variant <= 1) {
            p.valid = p.exposes = true;
            p.cls = family == 5 ? (variant == 0 ? d::kCalKv1 : d::kCalKv2)
                                : (variant == 0 ? d::kCalMa1 : d::kCalMa2);
        }
        break;
    case 7:
        if (variant < d::kHeatingPoints) {
            const uint16_t kv = static_cast<uint16_t>(d::kHeatingBaseKv + d::kHeatingStepKv * variant);
            const ExposureValues v{kv, d::kHeatingMaTenths, d::kHeatingTimeHundredths};
            p.valid = p.exposes = true;
            p.cls = ProgramClass{"heating calibration", v, {v, v, {0, 0, 0}}, 0, 0, 7.0f};
        }
        break;
    case 8:
    case 9:
        pano(d::kFullPano);
        break;
    case 10:
    case 11:
        ceph(d::kCephLateral);
        break;
    case 12:
    case 13:
        if (variant < 8)
            pano(variant == 0 ? d::kFullPano : *kSegments[variant]);
        break;
    }
    return p;
}

int16_t UnitModel::Compensation(int row, int col) const {
    const auto& prefs = BlockValid(Block::Preferences) ? m_prefs : m_storedPrefs;
    return static_cast<int16_t>(GetWord(prefs.data(), 4 * col + 12 * (row / 2) + 2 * (row % 2)));
}

void UnitModel::ApplyProgramDefaults() {
    const Profile p = ProfileFor(m_program);
    if (!p.exposes)
        return; // nothing to expose: keep the values shown
    const uint8_t key = (m_program & 0x0F) == 7 ? 0x07 : m_program;
    ExposureValues base = p.cls.defaults;
    if (auto it = m_userDefaults.find(key); it != m_userDefaults.end() && p.compensated)
        base = it->second;
    ExposureValues v = base;
    if (p.compensated) {
        const int row = m_age == 1 ? 0 : 2;
        const int col = std::min<int>(m_build, 2) + 1;
        v.kv = static_cast<uint16_t>(std::max<long>(0, base.kv + Compensation(row, col)));
        v.maTenths = RoundToStep(base.maTenths * static_cast<uint16_t>(Compensation(row + 1, col)) / 100.0,
                                 p.cls.limits.step.maTenths);
    }
    const auto& lim = p.cls.limits;
    v.kv = lim.step.kv ? ClampStep(v.kv, lim.min.kv, lim.max.kv) : p.cls.defaults.kv;
    v.maTenths = lim.step.maTenths ? ClampStep(v.maTenths, lim.min.maTenths, lim.max.maTenths)
                                   : p.cls.defaults.maTenths;
    // Panoramic scan times belong to the program: the time keys do not move them.
    v.timeHundredths = lim.step.timeHundredths
                           ? ClampStep(v.timeHundredths, lim.min.timeHundredths, lim.max.timeHundredths)
                           : p.cls.defaults.timeHundredths;
    m_current = v;
    PrepareShotRecord();
}

void UnitModel::StoreUserDefaults() {
    const Profile p = ProfileFor(m_program);
    if (!p.exposes || !p.compensated)
        return;
    const int row = m_age == 1 ? 0 : 2;
    const int col = std::min<int>(m_build, 2) + 1;
    const int percent = std::max<int>(1, static_cast<uint16_t>(Compensation(row + 1, col)));
    ExposureValues base = m_current;
    base.kv = static_cast<uint16_t>(std::max<long>(0, m_current.kv - Compensation(row, col)));
    base.maTenths = RoundToStep(m_current.maTenths * 100.0 / percent, p.cls.limits.step.maTenths);
    m_userDefaults[m_program] = base;
    SaveState();
}

int UnitModel::StepValue(int which, bool up) {
    const Profile p = ProfileFor(m_program);
    if (!p.exposes)
        return kOk; // no program: nothing to move
    const auto& lim = p.cls.limits;
    auto step = [up](uint16_t& value, uint16_t stepSize, uint16_t min, uint16_t max) {
        if (stepSize == 0)
            return;
        value =
            ClampStep(static_cast<long>(value) + (up ? stepSize : -static_cast<long>(stepSize)), min, max);
    };
    if (which == 1)
        step(m_current.kv, lim.step.kv, lim.min.kv, lim.max.kv);
    else if (which == 2)
        step(m_current.maTenths, lim.step.maTenths, lim.min.maTenths, lim.max.maTenths);
    else
        step(m_current.timeHundredths, lim.step.timeHundredths, lim.min.timeHundredths,
             lim.max.timeHundredths);
    PrepareShotRecord();
    return kOk;
}

int UnitModel::SelectProgram(uint8_t program) {
    if (!ProfileFor(program).valid)
        return kIllegalValue;
    m_cephSwitchEndMs = 0;
    m_forcedNox.reset();
    m_program = program;
    if ((program & 0x0F) == 4)
        m_cephSwitchEndMs = m_nowMs + d::kCephSwitchMs;
    ApplyProgramDefaults();
    return kOk;
}

uint16_t UnitModel::NoxWord() const {
    if (m_forcedNox)
        return *m_forcedNox;
    const Profile p = ProfileFor(m_program);
    return p.noxFromOperator ? m_nox : p.nox;
}

void UnitModel::PrepareShotRecord() {
    // Until the next exposure the shot registers show what the unit is about to deliver.
    const Profile p = ProfileFor(m_program);
    const double mas = m_current.maTenths / 10.0 * m_current.timeHundredths / 100.0;
    const double dap = d::kDapPerKv2Mas * m_current.kv * m_current.kv * mas;
    m_shot.kv = m_current.kv;
    m_shot.maTenths = m_current.maTenths;
    m_shot.timeDelivered = m_current.timeHundredths;
    m_shot.timeSet = m_current.timeHundredths;
    m_shot.doseKind = std::min<uint16_t>(GetWord(m_prefs.data(), 28), 1);
    m_shot.dose1 = static_cast<float>(dap);
    m_shot.dose2 = static_cast<float>(p.cls.fieldAreaCm2 > 0 ? dap / p.cls.fieldAreaCm2 : 0.0);
    m_shot.dose = static_cast<float>(m_shot.doseKind == 1 ? dap / 10.0 : dap);
}

// ---------------------------------------------------------------------------------------------------
// Exposure cycle

bool UnitModel::Ready() {
    Update();
    return ProfileFor(m_program).exposes && m_error == 0 && m_waitEndMs <= m_nowMs && m_panelActive &&
           m_cycle == kCycleIdle && m_restartEndMs == 0 && !m_standRunning && m_cephSwitchEndMs == 0;
}

bool UnitModel::PressSwitch() {
    if (!Ready()) {
        m_switchHeld = true; // held, but the unit does not start a cycle for it
        return false;
    }
    m_switchHeld = true;
    m_cycle = kCyclePreparing;
    m_phaseEndMs = m_nowMs + d::kPreparationMs;
    m_cycleValues = m_current;
    m_acquisition = 0;
    return true;
}

void UnitModel::ReleaseSwitch() {
    Update();
    m_switchHeld = false;
    m_releaseAtMs.reset();
    m_releaseAtEnd = false;
    if (m_cycle == kCyclePreparing) {
        AbortCycle(kCycleAbortPreparation);
    } else if (m_cycle == kCycleEmitting) {
        RecordShot(m_cycleValues, m_nowMs - m_emissionStartMs);
        AbortCycle(kCycleAbortEmission);
    }
}

bool UnitModel::Expose(std::optional<uint32_t> holdMs) {
    if (m_switchHeld)
        ReleaseSwitch();
    if (!PressSwitch()) {
        m_switchHeld = false;
        return false;
    }
    if (holdMs)
        m_releaseAtMs = m_nowMs + *holdMs;
    else
        m_releaseAtEnd = true;
    return true;
}

void UnitModel::StartEmission() {
    m_cycle = kCycleEmitting;
    m_emissionStartMs = m_nowMs;
    m_phaseEndMs = m_nowMs + m_cycleValues.timeHundredths * 10ull;
    // The detector is armed with the emission: the host can read whether it will get an image.
    if (NoxWord() != 0) {
        m_acquisition = m_failNextAcquisition ? 2 : 1;
        m_failNextAcquisition = false;
    } else {
        m_acquisition = 0;
    }
}

void UnitModel::CompleteCycle(uint64_t deliveredMs) {
    RecordShot(m_cycleValues, deliveredMs);
    m_cycle = kCycleIdle;
    if (m_releaseAtEnd) {
        m_releaseAtEnd = false;
        m_switchHeld = false;
    }
}

void UnitModel::AbortCycle(CycleState state) {
    m_cycle = state;
    m_phaseEndMs = m_nowMs + d::kAbortDisplayMs;
    m_releaseAtMs.reset();
    if (m_releaseAtEnd) {
        m_releaseAtEnd = false;
        m_switchHeld = false;
    }
}

void UnitModel::RecordShot(const ExposureValues& values, uint64_t deliveredMs) {
    if (deliveredMs == 0)
        return;
    const auto& cal = BlockValid(Block::Calibration) ? m_cal : m_storedCal;
    auto chain = [&](double set, int cmdGain, int cmdOffset, double genGain, double genOffset,
                     double extraGain, double extraOffset, double sensGain, double sensOffset, int measGain,
                     int measOffset, double& real) {
        const double command = set * CalFloat(cal, cmdGain) + CalFloat(cal, cmdOffset);
        real = std::max(0.0, extraGain * (genGain * command + genOffset) + extraOffset);
        const double raw = sensGain * real + sensOffset;
        return raw * CalFloat(cal, measGain) + CalFloat(cal, measOffset);
    };
    double realKv = 0, realMa = 0;
    const double measKv =
        chain(values.kv, kRegKvCmdGain, kRegKvCmdOffset, d::kGenKvGain, d::kGenKvOffset, m_genKvGain,
              m_genKvOffset, d::kSensKvGain, d::kSensKvOffset, kRegKvMeasGain, kRegKvMeasOffset, realKv);
    const double measMa = chain(values.maTenths / 10.0, kRegMaCmdGain, kRegMaCmdOffset, d::kGenMaGain,
                                d::kGenMaOffset, m_genMaGain, m_genMaOffset, d::kSensMaGain, d::kSensMaOffset,
                                kRegMaMeasGain, kRegMaMeasOffset, realMa);
    const double seconds = deliveredMs / 1000.0;
    m_meterKv = realKv;
    m_meterMa = realMa;

    const Profile p = ProfileFor(m_program);
    const double dap = d::kDapPerKv2Mas * realKv * realKv * realMa * seconds;
    m_shot.kv = values.kv;
    m_shot.maTenths = values.maTenths;
    m_shot.timeDelivered = static_cast<uint16_t>(std::min<uint64_t>(deliveredMs / 10, 65535));
    m_shot.timeSet = values.timeHundredths;
    m_shot.doseKind = std::min<uint16_t>(GetWord(m_prefs.data(), 28), 1);
    m_shot.dose1 = static_cast<float>(dap);
    m_shot.dose2 = static_cast<float>(p.cls.fieldAreaCm2 > 0 ? dap / p.cls.fieldAreaCm2 : 0.0);
    m_shot.dose = static_cast<float>(m_shot.doseKind == 1 ? dap / 10.0 : dap);

    const double heating = HeatingValueAt(realKv);
    m_measurement = {static_cast<float>(heating), static_cast<float>(measKv), static_cast<float>(measMa),
                     static_cast<float>(seconds)};

    const double energy = realKv * realMa * seconds; // kV x mA x s = J
    m_shots += 1;
    m_energyJ += static_cast<uint32_t>(std::lround(energy));
    m_waitEndMs =
        std::max(m_waitEndMs, m_nowMs) + static_cast<uint64_t>(std::ceil(energy / d::kCoolingWatts)) * 1000;

    if ((m_program & 0x0F) == 7 && deliveredMs >= values.timeHundredths * 10ull) {
        // Heating calibration: a complete exposure stores what was found for this set point and moves on
        // to the next one; an interrupted one is simply made again.
        const unsigned index = m_program >> 4;
        PutWord(m_cal.data(), 2 * (kRegHeating + index), static_cast<uint16_t>(HeatingValueAt(realKv)));
        if (index + 1 < static_cast<unsigned>(d::kHeatingPoints)) {
            m_program = static_cast<uint8_t>(0x07 | ((index + 1) << 4));
            ApplyProgramDefaults();
        }
    }
    SaveState();
}

uint16_t UnitModel::WaitingSeconds() const {
    if (m_waitNoValue || IsCycleBusy())
        return d::kNoWaitingValue;
    if (m_waitEndMs <= m_nowMs)
        return 0;
    return static_cast<uint16_t>(std::min<uint64_t>((m_waitEndMs - m_nowMs + 999) / 1000, 65534));
}

uint16_t UnitModel::StateWord() {
    const bool ready = Ready();
    uint16_t state = static_cast<uint16_t>((m_cycle & 0x0F) << 2);
    if (m_cycle == kCycleEmitting)
        state |= 0x0040;
    if (m_laserOffMs != 0)
        state |= 0x0080;
    if (ready)
        state |= 0x0100;
    if (m_voice)
        state |= 0x0200;
    state |= static_cast<uint16_t>((m_access & 3) << 10);
    return state;
}

// ---------------------------------------------------------------------------------------------------
// Commands

int UnitModel::ExecuteCommand(uint16_t word) {
    Update();
    m_lastCommand = word;
    const uint8_t code = word & 0xFF;
    const uint8_t arg = word >> 8;
    const bool busy = IsCycleBusy();
    switch (code) {
    case 0x01:
    case 0x02:
    case 0x03:
        if (arg > 1)
            return kIllegalValue;
        if (busy)
            return kDeviceBusy;
        return StepValue(code, arg == 0);
    case 0x04:
        if (busy)
            return kDeviceBusy;
        return SelectProgram(arg);
    case 0x05:
        if (arg > 1)
            return kIllegalValue;
        if (busy)
            return kDeviceBusy;
        m_age = arg;
        ApplyProgramDefaults();
        return kOk;
    case 0x06:
        if (arg > 2)
            return kIllegalValue;
        if (busy)
            return kDeviceBusy;
        m_build = arg;
        ApplyProgramDefaults();
        return kOk;
    case 0x07:
        if (arg > 1)
            return kIllegalValue;
        if (busy)
            return kDeviceBusy;
        m_nox = arg;
        m_forcedNox.reset();
        return kOk;
    case 0x08:
        if (busy)
            return kDeviceBusy;
        StoreUserDefaults();
        return kOk;
    case 0x09:
        Reset();
        return kOk;
    case 0x0A:
        if (arg > 2)
            return kIllegalValue;
        if (busy)
            return kDeviceBusy;
        if (arg == 1 || (arg == 2 && m_laserOffMs == 0))
            m_laserOffMs = m_nowMs + d::kLaserOnMs;
        else
            m_laserOffMs = 0;
        return kOk;
    case 0x0B:
        Acknowledge();
        return kOk;
    case 0x80:
        Restart();
        return kOk;
    case 0x81:
        if (arg & ~0x07)
            return kIllegalValue;
        return BlocksRewritten(arg == 0 ? 0x07 : arg);
    case 0x82:
        if (arg & ~0x07)
            return kIllegalValue;
        if (busy)
            return kDeviceBusy;
        // The preference dialog's "reset set points": the mask would read calibration and factory
        // settings, which that button must never wipe.
        if (arg == 0x03) {
            ResetSetPoints();
            return kOk;
        }
        return BlocksReset(arg);
    case 0x83:
        if (busy)
            return kDeviceBusy;
        m_standRunning = true;
        m_standStartMs = m_nowMs;
        PutWord(m_cal.data(), 2 * kRegTravel, 0);
        PutWord(m_cal.data(), 2 * kRegHysteresis, 0);
        return kOk;
    case 0x85:
        m_panelActive = true;
        return kOk;
    case 0x86:
        m_panelActive = false;
        return kOk;
    case 0x87:
        m_hostAnnounced = true;
        return kOk;
    case 0xA0:
        // The operator is at the panel: it counts as active, and a stopped cycle's state is cleared.
        m_panelActive = true;
        if (m_cycle >= kCycleAbortPreparation)
            m_cycle = kCycleIdle;
        return kOk;
    default:
        return kIllegalValue;
    }
}

void UnitModel::Reset() {
    if (IsCycleBusy()) {
        if (m_cycle == kCycleEmitting)
            RecordShot(m_cycleValues, m_nowMs - m_emissionStartMs);
        AbortCycle(kCycleAbortReset);
    }
    m_laserOffMs = 0;
    ApplyProgramDefaults(); // the +/- changes of the current program are dropped
}

void UnitModel::Acknowledge() {
    // Set-point errors and error 61 are acknowledged by the operator; with the technical menu granted any
    // fault may be. A block error only goes when its block is valid again.
    if (IsBlockError(m_error) || m_error == 1 || m_error == 55 || m_error == 61 ||
        (m_access == 2 && m_error != 0))
        m_error = 0;
    RaiseBlockErrors();
}

void UnitModel::Restart() {
    if (IsCycleBusy()) {
        if (m_cycle == kCycleEmitting)
            RecordShot(m_cycleValues, m_nowMs - m_emissionStartMs);
        AbortCycle(kCycleAbortReset);
    }
    if (m_error != 0)
        m_error = 0;
    m_restartEndMs = m_nowMs + d::kRestartMs;
    RaiseBlockErrors();
}

int UnitModel::BlocksRewritten(uint8_t mask) {
    const std::pair<uint8_t, Block> blocks[] = {
        {0x01, Block::Calibration}, {0x02, Block::Factory}, {0x04, Block::Preferences}};
    for (auto [bit, block] : blocks) {
        if (!(mask & bit))
            continue;
        // An invalid block is never stored: the unit keeps working from its last valid copy.
        if (BlockValid(block))
            StoreBlock(block);
    }
    if (IsBlockError(m_error)) {
        const Block pending = m_error == kBlockErrorCal       ? Block::Calibration
                              : m_error == kBlockErrorFactory ? Block::Factory
                                                              : Block::Preferences;
        if (BlockValid(pending))
            m_error = 0;
    }
    RaiseBlockErrors();
    ApplyProgramDefaults();
    SaveState();
    return kOk;
}

void UnitModel::ResetSetPoints() {
    m_userDefaults.clear();
    ApplyProgramDefaults();
    SaveState();
}

int UnitModel::BlocksReset(uint8_t mask) {
    if (mask == 0) {
        // Reinitialisation: the user set points go back to the factory values, and a block the unit can
        // no longer trust is replaced by its defaults.
        m_userDefaults.clear();
        for (Block block : {Block::Calibration, Block::Factory, Block::Preferences})
            if (!BlockValid(block)) {
                SetDefaultBlock(block);
            }
    } else {
        if (mask & 0x01)
            SetDefaultBlock(Block::Calibration);
        if (mask & 0x02)
            SetDefaultBlock(Block::Factory);
        if (mask & 0x04)
            SetDefaultBlock(Block::Preferences);
    }
    if (IsBlockError(m_error))
        m_error = 0;
    RaiseBlockErrors();
    ApplyProgramDefaults();
    SaveState();
    return kOk;
}

// ---------------------------------------------------------------------------------------------------
// Data blocks

uint8_t* UnitModel::BlockData(Block block) {
    switch (block) {
    case Block::Calibration:
        return m_cal.data();
    case Block::Factory:
        return m_factory.data();
    default:
        return m_prefs.data();
    }
}
size_t UnitModel::BlockSize(Block block) const {
    return block == Block::Calibration ? kCalibrationBytes
           : block == Block::Factory   ? kFactoryBytes
                                       : kPreferenceBytes;
}

int16_t UnitModel::CalWord(int reg) const {
    return static_cast<int16_t>(GetWord(m_cal.data(), 2 * reg));
}
float UnitModel::CalFloat(const std::array<uint8_t, kCalibrationBytes>& table, int reg) const {
    return GetFloat(table.data(), 2 * reg);
}

bool UnitModel::BlockValid(Block block) const {
    switch (block) {
    case Block::Calibration: {
        for (int reg : {kRegKvMeasGain, kRegKvCmdGain, kRegMaMeasGain, kRegMaCmdGain}) {
            const float g = CalFloat(m_cal, reg);
            if (!std::isfinite(g) || g < d::kMinGain || g > d::kMaxGain)
                return false;
        }
        for (int reg : {kRegKvMeasOffset, kRegKvCmdOffset}) {
            const float o = CalFloat(m_cal, reg);
            if (!std::isfinite(o) || std::fabs(o) > d::kMaxKvOffset)
                return false;
        }
        for (int reg : {kRegMaMeasOffset, kRegMaCmdOffset}) {
            const float o = CalFloat(m_cal, reg);
            if (!std::isfinite(o) || std::fabs(o) > d::kMaxMaOffset)
                return false;
        }
        for (int i = 0; i < d::kHeatingPoints; ++i)
            if (std::abs(CalWord(kRegHeating + i)) > d::kMaxHeating)
                return false;
        return true;
    }
    case Block::Factory: {
        if (m_factory[0] == 0 ||
            std::find(m_factory.begin(), m_factory.begin() + 10, 0) == m_factory.begin() + 10)
            return false; // a serial number, terminated within its field
        for (int i = 0; i < 5; ++i)
            if (GetWord(m_factory.data(), 10 + 2 * i) >= d::kOptionChoices[i])
                return false;
        return true;
    }
    case Block::Preferences: {
        if (GetWord(m_prefs.data(), 0) > 2 || GetWord(m_prefs.data(), 28) > 1)
            return false;
        for (int row = 0; row < 4; ++row)
            for (int col = 1; col <= 3; ++col) {
                const uint16_t raw = GetWord(m_prefs.data(), 4 * col + 12 * (row / 2) + 2 * (row % 2));
                if (row % 2 == 0 && std::abs(static_cast<int16_t>(raw)) > d::kMaxCompensationKv)
                    return false;
                if (row % 2 == 1 && (raw < d::kMinCompensationPercent || raw > d::kMaxCompensationPercent))
                    return false;
            }
        return true;
    }
    }
    return false;
}

void UnitModel::RaiseBlockErrors() {
    if (m_error != 0)
        return;
    if (!BlockValid(Block::Calibration))
        m_error = kBlockErrorCal;
    else if (!BlockValid(Block::Factory))
        m_error = kBlockErrorFactory;
    else if (!BlockValid(Block::Preferences))
        m_error = kBlockErrorPrefs;
}

void UnitModel::StoreBlock(Block block) {
    switch (block) {
    case Block::Calibration:
        m_storedCal = m_cal;
        break;
    case Block::Factory:
        m_storedFactory = m_factory;
        break;
    case Block::Preferences:
        m_storedPrefs = m_prefs;
        break;
    }
}

void UnitModel::SetDefaultBlock(Block block) {
    switch (block) {
    case Block::Calibration: {
        m_cal.fill(0);
        uint8_t* c = m_cal.data();
        PutWord(c, 2 * kRegTravel, static_cast<uint16_t>(d::kStandTravel));
        PutWord(c, 2 * kRegHysteresis, static_cast<uint16_t>(d::kStandHysteresis));
        PutFloat(c, 6, 2.35f);
        PutFloat(c, 10, 4.10f);
        for (int reg : {kRegKvMeasGain, kRegKvCmdGain, kRegMaMeasGain, kRegMaCmdGain})
            PutFloat(c, 2 * reg, 1.0f);
        for (int i = 0; i < d::kHeatingPoints; ++i)
            PutWord(c, 2 * (kRegHeating + i),
                    static_cast<uint16_t>(HeatingValueAt(d::kHeatingBaseKv + d::kHeatingStepKv * i)));
        const uint8_t calibrationDate[5] = {24, 3, 18, 1, 0};
        std::memcpy(c + 70, calibrationDate, 5);
        break;
    }
    case Block::Factory:
        m_factory.fill(0);
        PutText(m_factory.data(), 10, d::kSerialNumber);
        PutWord(m_factory.data(), 10, d::kMainsVoltage);
        PutWord(m_factory.data(), 12, d::kMainsFrequency);
        PutWord(m_factory.data(), 14, d::kPanoOption);
        PutWord(m_factory.data(), 16, d::kCephOption);
        PutWord(m_factory.data(), 18, d::kTubeReference);
        break;
    case Block::Preferences:
        m_prefs.fill(0);
        PutWord(m_prefs.data(), 0, d::kRestPosition);
        for (int row = 0; row < 4; ++row)
            for (int col = 1; col <= 3; ++col)
                PutWord(m_prefs.data(), 4 * col + 12 * (row / 2) + 2 * (row % 2),
                        static_cast<uint16_t>(d::kCompensation[row][col - 1]));
        PutWord(m_prefs.data(), 28, d::kDoseUnit);
        break;
    }
    StoreBlock(block);
}

void UnitModel::CorruptBlock(Block block) {
    Update();
    switch (block) {
    case Block::Calibration:
        PutFloat(m_cal.data(), 2 * kRegKvMeasGain, 0.0f);
        break;
    case Block::Factory:
        PutWord(m_factory.data(), 14, 0xFFFF);
        break;
    case Block::Preferences:
        PutWord(m_prefs.data(), 28, 7);
        break;
    }
    RaiseBlockErrors();
}

// ---------------------------------------------------------------------------------------------------
// Non-volatile memory

bool UnitModel::AttachStateFile(const std::string& path, std::string& error) {
    m_statePath = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (std::filesystem::exists(path)) {
            error = "cannot read " + path;
            return false;
        }
        SaveState();
        return true;
    }
    std::stringstream text;
    text << in.rdbuf();
    LoadState(text.str());
    return true;
}

void UnitModel::SaveState() {
    if (m_statePath.empty())
        return;
    std::ostringstream out;
    out << "lumen-unit-state 1\n";
    out << "calibration " << Hex(m_storedCal.data(), m_storedCal.size()) << "\n";
    out << "factory " << Hex(m_storedFactory.data(), m_storedFactory.size()) << "\n";
    out << "preferences " << Hex(m_storedPrefs.data(), m_storedPrefs.size()) << "\n";
    out << "shots " << m_shots << "\n";
    out << "energy " << m_energyJ << "\n";
    for (const auto& [program, v] : m_userDefaults)
        out << "setpoint " << static_cast<unsigned>(program) << " " << v.kv << " " << v.maTenths << " "
            << v.timeHundredths << "\n";
    // Write beside and rename, so that a crash never leaves a half-written memory.
    const std::string temp = m_statePath + ".tmp";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        if (!file)
            return;
        file << out.str();
        if (!file.flush())
            return;
    }
    std::error_code ec;
    std::filesystem::rename(temp, m_statePath, ec);
}

void UnitModel::LoadState(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key, value;
        fields >> key;
        if (key == "calibration" || key == "factory" || key == "preferences") {
            fields >> value;
            const Block block = key == "calibration" ? Block::Calibration
                                : key == "factory"   ? Block::Factory
                                                     : Block::Preferences;
            std::vector<uint8_t> bytes(BlockSize(block));
            if (!Unhex(value, bytes.data(), bytes.size())) {
                SetDefaultBlock(block);
                if (m_error == 0)
                    m_error = block == Block::Calibration ? kBlockErrorCal
                              : block == Block::Factory   ? kBlockErrorFactory
                                                          : kBlockErrorPrefs;
                continue;
            }
            std::memcpy(BlockData(block), bytes.data(), bytes.size());
            if (BlockValid(block)) {
                StoreBlock(block);
            } else {
                SetDefaultBlock(block);
                if (m_error == 0)
                    m_error = block == Block::Calibration ? kBlockErrorCal
                              : block == Block::Factory   ? kBlockErrorFactory
                                                          : kBlockErrorPrefs;
            }
        } else if (key == "shots") {
            fields >> m_shots;
        } else if (key == "energy") {
            fields >> m_energyJ;
        } else if (key == "setpoint") {
            unsigned program = 0, kv = 0, ma = 0, time = 0;
            if (fields >> program >> kv >> ma >> time && program < 256 && kv < 65536 && ma < 65536 &&
                time < 65536)
                m_userDefaults[static_cast<uint8_t>(program)] = {
                    static_cast<uint16_t>(kv), static_cast<uint16_t>(ma), static_cast<uint16_t>(time)};
        }
    }
    ApplyProgramDefaults();
}

// ---------------------------------------------------------------------------------------------------
// Registers

void UnitModel::BuildImage(std::array<uint16_t, 164>& w, std::array<bool, 164>& mapped) {
    w.fill(0);
    mapped.fill(false);
    const Layout& L = m_protocol == 1 ? kLayoutV1 : kLayoutV2;
    auto map = [&](uint16_t byteOffset, uint16_t words) {
        for (uint16_t i = 0; i < words; ++i)
            mapped[byteOffset / 2 + i] = true;
    };
    auto bytesInto = [&](uint16_t byteOffset, const uint8_t* bytes, size_t size) {
        for (size_t i = 0; i < size / 2; ++i)
            w[byteOffset / 2 + i] = GetWord(bytes, 2 * i);
        map(byteOffset, static_cast<uint16_t>(size / 2));
    };

    bytesInto(0, m_identification.data(), m_identification.size());
    w[15] = StateWord();
    w[16] = m_error;
    if (m_protocol == 1) {
        // Protocol 1 delivers the conditions in the unit's raw layout.
        const uint16_t c = m_conditions;
        w[17] = static_cast<uint16_t>((c & 0x000F) | ((c & 0x0030) << 1) | ((c & 0x00C0) << 2) |
                                      ((c & 0xE000) >> 1) | m_conditionsV1Extra);
    } else {
        w[17] = m_conditions;
    }
    map(30, 3);

    const uint16_t s = L.selection / 2;
    w[s + 0] = m_current.kv;
    w[s + 1] = m_current.maTenths;
    w[s + 2] = m_current.timeHundredths;
    w[s + 3] = m_program; // high byte 0
    w[s + 4] = m_age;
    w[s + 5] = m_build;
    if (m_protocol == 1)
        w[s + 6] = NoxWord();
    map(L.selection, L.selectionWords);

    const uint16_t r = L.shot / 2;
    w[r + 0] = m_shot.kv;
    w[r + 1] = m_shot.maTenths;
    w[r + 2] = m_shot.timeDelivered;
    w[r + 3] = m_shot.timeSet;
    if (m_protocol == 2) {
        PutFloatWords(w.data(), r + 4, m_shot.dose);
        w[r + 6] = m_shot.doseKind;
        PutFloatWords(w.data(), r + 7, m_shot.dose1);
        PutFloatWords(w.data(), r + 9, m_shot.dose2);
    }
    map(L.shot, L.shotWords);

    for (size_t i = 0; i < m_measurement.size(); ++i)
        PutFloatWords(w.data(), L.measurement / 2 + 2 * i, m_measurement[i]);
    map(L.measurement, 8);

    w[L.cooling / 2] = WaitingSeconds();
    map(L.cooling, 1);
    const double heat = m_waitEndMs > m_nowMs ? (m_waitEndMs - m_nowMs) / 1000.0 * d::kCoolingWatts : 0.0;
    w[L.general / 2] =
        static_cast<uint16_t>(std::min(100.0, std::round(heat * 100.0 / d::kTubeHeatCapacityJ)));
    map(L.general, 1);
    if (L.acquisition) {
        w[L.acquisition / 2] = m_acquisition;
        map(L.acquisition, 1);
    }
    if (L.nox) {
        w[L.nox / 2] = NoxWord();
        map(L.nox, 1);
    }

    const Profile p = ProfileFor(m_program);
    w[L.image / 2 + 0] = m_rotation;
    w[L.image / 2 + 2] = m_imageLayout ? p.cls.imageCount : 0;
    w[L.image / 2 + 3] = m_imageLayout ? p.cls.imageLength : 0;
    map(L.image, 4);

    w[L.linkCounters / 2 + 0] = m_framesGood;
    w[L.linkCounters / 2 + 1] = m_framesBad;
    map(L.linkCounters, 9);

    w[kCommandOffset / 2] = m_lastCommand;
    map(kCommandOffset, 1);
    bytesInto(kFactoryOffset, m_factory.data(), m_factory.size());
    bytesInto(kCalibrationOffset, m_cal.data(), m_cal.size());
    bytesInto(kPreferenceOffset, m_prefs.data(), m_prefs.size());
    bytesInto(kUnitTextOffset, m_unitText.data(), m_unitText.size());
    bytesInto(kDisplayCodeOffset, m_displayCode.data(), m_displayCode.size());
}

int UnitModel::ReadRegisters(uint16_t address, uint16_t count, uint16_t* out) {
    if (count == 0 || count > kMaxReadWords)
        return kIllegalValue;
    Update();
    const uint32_t end = static_cast<uint32_t>(address) + count;
    if (address >= kRegisterBaseWord && end <= kRegisterBaseWord + kBaseWords) {
        std::array<uint16_t, 164> words;
        std::array<bool, 164> mapped;
        BuildImage(words, mapped);
        const uint16_t first = address - kRegisterBaseWord;
        for (uint16_t i = 0; i < count; ++i)
            if (!mapped[first + i])
                return kIllegalAddress;
        std::copy_n(words.begin() + first, count, out);
        return kOk;
    }
    if (address >= kIdentificationAreaWord && end <= kIdentificationAreaWord + 5u) {
        const uint16_t counters[5] = {
            static_cast<uint16_t>(m_shots & 0xFFFF), static_cast<uint16_t>(m_shots >> 16),
            static_cast<uint16_t>(m_energyJ & 0xFFFF), static_cast<uint16_t>(m_energyJ >> 16), 0};
        std::copy_n(counters + (address - kIdentificationAreaWord), count, out);
        return kOk;
    }
    const uint16_t hostWord = m_protocol == 1 ? kHostTextWordV1 : kHostTextWordV2;
    if (address >= hostWord && end <= hostWord + 20u) {
        for (uint16_t i = 0; i < count; ++i)
            out[i] = GetWord(m_hostText.data(), 2 * (address - hostWord + i));
        return kOk;
    }
    return kIllegalAddress;
}

int UnitModel::WriteArea(uint16_t address, uint16_t count, const uint16_t* values) {
    if (count == 0 || count > kMaxWriteWords)
        return kIllegalValue;
    Update();
    const uint32_t end = static_cast<uint32_t>(address) + count;
    auto within = [&](uint16_t startWord, uint16_t words) {
        return address >= startWord && end <= startWord + words;
    };
    auto store = [&](uint8_t* bytes, uint16_t startWord) {
        for (uint16_t i = 0; i < count; ++i)
            PutWord(bytes, 2 * (address - startWord + i), values[i]);
        return kOk;
    };
    const uint16_t hostWord = m_protocol == 1 ? kHostTextWordV1 : kHostTextWordV2;
    auto base = [](uint16_t byteOffset) { return static_cast<uint16_t>(kRegisterBaseWord + byteOffset / 2); };
    if (within(hostWord, 20))
        return store(m_hostText.data(), hostWord);
    if (within(base(kCommandOffset), 1))
        return ExecuteCommand(values[0]);
    if (within(base(kFactoryOffset), 16))
        return store(m_factory.data(), base(kFactoryOffset));
    if (within(base(kCalibrationOffset), 40))
        return store(m_cal.data(), base(kCalibrationOffset));
    if (within(base(kPreferenceOffset), 20))
        return store(m_prefs.data(), base(kPreferenceOffset));
    if (within(base(kUnitTextOffset), 20))
        return store(m_unitText.data(), base(kUnitTextOffset));
    if (within(base(kDisplayCodeOffset), 2))
        return store(m_displayCode.data(), base(kDisplayCodeOffset));
    return kIllegalAddress;
}

// ---------------------------------------------------------------------------------------------------
// Scenario inputs

void UnitModel::SetError(uint16_t code) {
    Update();
    m_error = code;
    if (code != 0 && IsCycleBusy()) {
        if (m_cycle == kCycleEmitting)
            RecordShot(m_cycleValues, m_nowMs - m_emissionStartMs);
        AbortCycle(kCycleAbortError);
    }
}

void UnitModel::SetConditions(uint16_t conditions) {
    m_conditions = conditions;
    m_conditionsV1Extra = 0;
}

void UnitModel::SetConditionsRawV1(uint16_t raw) {
    m_conditions = static_cast<uint16_t>((raw & 0x000F) | ((raw & 0x0060) >> 1) | ((raw & 0x0300) >> 2) |
                                         ((raw & 0x7000) << 1));
    m_conditionsV1Extra = raw & 0x8C90;
}

void UnitModel::SetWaitingSeconds(uint32_t seconds) {
    Update();
    m_waitNoValue = false;
    m_waitEndMs = m_nowMs + static_cast<uint64_t>(seconds) * 1000;
}

void UnitModel::SetWaitingNoValue() {
    m_waitNoValue = true;
}

void UnitModel::SetAccess(uint16_t bits) {
    m_access = bits & 3;
}

void UnitModel::SetPanelActive(bool active) {
    Update();
    m_panelActive = active;
}

} // namespace emu
