// The emulated unit: its identity and protocol version, and the scenario inputs that set its state.
// The rest lives in rooms of its own: UnitRegisters, UnitCommands, UnitCycle, UnitCalibrations, UnitFaults.
#include "emulator/UnitInternals.h"

#include <cstdlib>
#include <string>

namespace emu {

namespace d = defaults;
using namespace unit;

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
// Scenario inputs

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
