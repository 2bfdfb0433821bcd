// The unit's timeline and exposure cycle: deadlines played in order, preparation, emission, aborts,
// the shot record, cooling and the state word.
#include "emulator/UnitInternals.h"

#include <algorithm>
#include <cmath>

namespace emu {

namespace d = defaults;
using namespace unit;

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

} // namespace emu
