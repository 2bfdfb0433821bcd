// The service menu's commands: what each identifier of the language library's menus does in the
// panel. Portable: the table is the one place that binds an identifier to its action.
#pragma once

#include <cstdint>

namespace panel {

enum class ServiceAction {
    About,
    General,
    Communication,
    Preferences,
    Manufacturing,
    ResetUnit, // confirmed; the panel's command 0x82 with its refresh
    SaveRestore,
    Details,
    KvCalibration,
    MaCalibration,
    HeatingCalibration,
    StandCalibration,
    ResetCalibrationTable, // confirmed; the word alone, whatever the unit answers
    ResetSetPoints,        // confirmed; the word alone, a refusal told to the operator
    Select,                // a program select with its refresh
    SystemInformation,
};

struct ServiceCommand {
    uint16_t id;
    ServiceAction action;
    uint16_t word;   // ResetUnit: the command code; ResetCalibrationTable, ResetSetPoints: the word
    int selectFirst; // Select: the first value of the select (the second is 0)
};

inline constexpr ServiceCommand kServiceCommands[] = {
    {33601, ServiceAction::About, 0, 0},
    {33602, ServiceAction::General, 0, 0},
    {33603, ServiceAction::Communication, 0, 0},
    {33604, ServiceAction::Preferences, 0, 0},
    {33607, ServiceAction::Manufacturing, 0, 0},
    {33609, ServiceAction::ResetUnit, 0x82, 0},
    {33610, ServiceAction::SaveRestore, 0, 0},
    {33611, ServiceAction::Details, 0, 0},
    {33612, ServiceAction::KvCalibration, 0, 0},
    {33613, ServiceAction::MaCalibration, 0, 0},
    {33614, ServiceAction::HeatingCalibration, 0, 0},
    {33615, ServiceAction::StandCalibration, 0, 0},
    {33616, ServiceAction::ResetCalibrationTable, 0x0182, 0},
    {33617, ServiceAction::ResetSetPoints, 0x0382, 0},
    {33618, ServiceAction::Select, 0, 4},
    {33619, ServiceAction::SystemInformation, 0, 0},
    {33620, ServiceAction::Select, 0, 8},
    {33621, ServiceAction::Select, 0, 9},
    {33622, ServiceAction::Select, 0, 10},
    {33623, ServiceAction::Select, 0, 11},
};

// The command of an identifier; null for any other (33605, 33606 and 33608 do nothing either).
constexpr const ServiceCommand* FindServiceCommand(unsigned id) noexcept {
    for (const ServiceCommand& command : kServiceCommands)
        if (command.id == id)
            return &command;
    return nullptr;
}

// The special programs a design cannot run, greyed in the technical menu's second branch: the
// cephalometric ones on the panoramic designs, the panoramic ones on the cephalometric design.
struct GreyedPair {
    uint16_t first, second;
};
constexpr GreyedPair GreyedSpecialPrograms(bool cephalometricDesign) noexcept {
    return cephalometricDesign ? GreyedPair{33620, 33621} : GreyedPair{33622, 33623};
}

} // namespace panel
