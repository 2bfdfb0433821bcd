// The unit as a test instrument: the link's history, forced values and the status.
#include "emulator/UnitInternals.h"

#include <cstdio>

namespace emu {

using namespace unit;

namespace {

constexpr size_t kOptionOffset = 10, kDoseUnitOffset = 28;

// A text field up to its terminator, quoted; bytes outside printable ASCII as \xHH.
std::string Quoted(const uint8_t* bytes, size_t size) {
    std::string text = "\"";
    char buffer[8];
    for (size_t i = 0; i < size && bytes[i] != 0; ++i) {
        const uint8_t c = bytes[i];
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c < 32 || c > 126) {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            text += buffer;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text + "\"";
}

} // namespace

int UnitModel::WriteRegisters(uint16_t address, uint16_t count, const uint16_t* values) {
    const int result = WriteArea(address, count, values);
    if (address == kCommandWord && count == 1)
        m_commandHistory.Push({values[0], result});
    else
        m_writeHistory.Push({address, result, std::vector<uint16_t>(values, values + count)});
    return result;
}

void UnitModel::ClearHistory() {
    m_commandHistory.Clear();
    m_writeHistory.Clear();
    m_requestHistory.Clear();
}

// ---------------------------------------------------------------------------------------------------
// Forced values

void UnitModel::SetFrameCounters(uint16_t good, uint16_t bad) {
    m_framesGood = good;
    m_framesBad = bad;
}

void UnitModel::SetUnitCounters(uint32_t shots, uint32_t energyJ) {
    m_shots = shots;
    m_energyJ = energyJ;
    SaveState();
}

void UnitModel::ForceSelection(uint8_t program, uint16_t age, uint16_t build, uint16_t nox) {
    Update();
    m_cephSwitchEndMs = 0;
    m_program = program;
    m_age = age;
    m_build = build;
    m_forcedNox = nox;
}

void UnitModel::ForceCycleState(uint16_t state) {
    Update();
    m_releaseAtMs.reset();
    m_cycle = state & 0x0F;
    // A forced state has no end of its own.
    m_phaseEndMs = UINT64_MAX;
    m_emissionStartMs = m_nowMs;
}

void UnitModel::SetFactoryOption(int index, uint16_t value) {
    Update();
    PutWord(m_factory.data(), kOptionOffset + 2 * static_cast<size_t>(index), value);
    if (BlockValid(Block::Factory)) {
        StoreBlock(Block::Factory);
        SaveState();
    }
    RaiseBlockErrors();
}

void UnitModel::SetDoseUnit(uint16_t unit) {
    Update();
    PutWord(m_prefs.data(), kDoseUnitOffset, unit);
    if (BlockValid(Block::Preferences)) {
        StoreBlock(Block::Preferences);
        SaveState();
    }
    RaiseBlockErrors();
    PrepareShotRecord();
}

void UnitModel::SetGeneratorError(bool kv, double gain, double offset) {
    (kv ? m_genKvGain : m_genMaGain) = gain;
    (kv ? m_genKvOffset : m_genMaOffset) = offset;
}

std::vector<uint16_t> UnitModel::BlockWords(Block block, bool stored) const {
    const uint8_t* bytes = nullptr;
    switch (block) {
    case Block::Calibration:
        bytes = stored ? m_storedCal.data() : m_cal.data();
        break;
    case Block::Factory:
        bytes = stored ? m_storedFactory.data() : m_factory.data();
        break;
    case Block::Preferences:
        bytes = stored ? m_storedPrefs.data() : m_prefs.data();
        break;
    }
    std::vector<uint16_t> words(BlockSize(block) / 2);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = GetWord(bytes, 2 * i);
    return words;
}

std::string UnitModel::Status() {
    const uint16_t state = StateWord();
    char text[1024];
    const char* faults[] = {"none", "noanswer", "badcrc", "exception", "slow"};
    std::snprintf(text, sizeof text,
                  "version=%s protocol=%d program=0x%02X age=%u build=%u nox=%u kv=%u ma=%.1f time=%.2f "
                  "state=0x%04X cycle=%u ready=%d emission=%d laser=%d error=%u conditions=0x%04X waiting=%u "
                  "panel=%d access=%u voice=%d rotation=%u acquisition=%u shots=%u energy=%u meter_kv=%.2f "
                  "meter_ma=%.2f stand=%s fault=%s/%u targeted_faults=%u port=%s transfer=%s time_ms=%llu "
                  "frames=%u/%u announced=%d generator=%g/%g/%g/%g",
                  m_version.c_str(), m_protocol, m_program, m_age, m_build, NoxWord(), m_current.kv,
                  m_current.maTenths / 10.0, m_current.timeHundredths / 100.0, state, m_cycle,
                  (state & 0x100) ? 1 : 0, (state & 0x40) ? 1 : 0, (state & 0x80) ? 1 : 0, m_error,
                  m_conditions, WaitingSeconds(), m_panelActive ? 1 : 0, m_access, m_voice ? 1 : 0,
                  m_rotation, m_acquisition, m_shots, m_energyJ, m_meterKv, m_meterMa,
                  m_standRunning ? "running" : "idle", faults[static_cast<int>(m_fault.kind)],
                  m_faultRequests, static_cast<unsigned>(m_targetedFaults.size()),
                  m_portMissing ? "missing" : "present", m_portFailed ? "fail" : "ok",
                  static_cast<unsigned long long>(m_nowMs), m_framesGood, m_framesBad,
                  m_hostAnnounced ? 1 : 0, m_genKvGain, m_genKvOffset, m_genMaGain, m_genMaOffset);
    // The texts last: they are quoted and may hold blanks.
    return std::string(text) + " display=" + Quoted(m_displayCode.data(), m_displayCode.size()) +
           " unit_text=" + Quoted(m_unitText.data(), m_unitText.size()) +
           " host_text=" + Quoted(m_hostText.data(), m_hostText.size());
}

} // namespace emu
