// The unit as a test instrument: the link's requests, faults and history, forced values and the status.
#include "emulator/UnitModel.h"

#include "emulator/UnitBytes.h"

#include <algorithm>
#include <cstdio>

namespace emu {

namespace {

constexpr uint16_t kCommandWord = kRegisterBaseWord + 64;
constexpr size_t kOptionOffset = 10, kDoseUnitOffset = 28;

const char* FaultName(FaultKind kind) {
    static const char* const kNames[] = {"-", "noanswer", "badcrc", "exception", "slow"};
    return kNames[static_cast<int>(kind)];
}

bool Hits(const FaultTarget& target, const Request& r) {
    switch (target.kind) {
    case FaultTarget::Kind::Any:
        return true;
    case FaultTarget::Kind::Command:
        return (r.function == 6 || r.function == 16) && r.address == kCommandWord && r.count == 1 &&
               r.firstValue == target.value;
    case FaultTarget::Kind::Address:
        return r.count > 0 && target.value >= r.address && target.value - r.address < r.count;
    case FaultTarget::Kind::Function:
        return r.function == target.value;
    }
    return false;
}

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

LinkFault UnitModel::BeginRequest(const Request& request) {
    LinkFault fault;
    auto take = [&](LinkFault& armed, uint32_t& requests) {
        fault = armed;
        if (--requests == 0)
            armed = {};
    };
    auto targeted = std::find_if(m_targetedFaults.begin(), m_targetedFaults.end(),
                                 [&](const ArmedFault& f) { return Hits(f.target, request); });
    if (targeted != m_targetedFaults.end()) {
        take(targeted->fault, targeted->requests);
        if (targeted->requests == 0)
            m_targetedFaults.erase(targeted);
    } else if (m_faultRequests > 0) {
        take(m_fault, m_faultRequests);
    }
    m_requestHistory.Push({m_clock.NowMs() - m_startMs, request.function, request.address, request.count,
                           FaultName(fault.kind)});
    return fault;
}

void UnitModel::InjectFault(LinkFault fault, uint32_t requests, FaultTarget target) {
    if (fault.kind == FaultKind::None || requests == 0) {
        m_fault = {};
        m_faultRequests = 0;
        m_targetedFaults.clear();
        return;
    }
    if (target.kind == FaultTarget::Kind::Any) {
        m_fault = fault;
        m_faultRequests = requests;
        return;
    }
    // One armed fault per target: arming it again replaces it.
    auto same = std::find_if(m_targetedFaults.begin(), m_targetedFaults.end(), [&](const ArmedFault& f) {
        return f.target.kind == target.kind && f.target.value == target.value;
    });
    if (same != m_targetedFaults.end())
        *same = {fault, requests, target};
    else
        m_targetedFaults.push_back({fault, requests, target});
}

void UnitModel::CountFrame(bool good) {
    // The unit's counters wrap like its 16-bit registers.
    if (good)
        ++m_framesGood;
    else
        ++m_framesBad;
}

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
