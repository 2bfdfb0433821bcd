// Command words and what they move: programs, patient and exposure values, resets, block rewrites.
#include "emulator/UnitInternals.h"

#include <algorithm>

namespace emu {

namespace d = defaults;
using namespace unit;

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

} // namespace emu
