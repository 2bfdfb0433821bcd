// The scenario-control line language shared by the serial front end and the in-process bus library.
#pragma once

#include "emulator/UnitModel.h"

#include <string>
#include <string_view>

namespace emu {

struct ControlResult {
    bool ok = false;
    std::string reply; // the command's answer ("ok", the status text) or why the line was refused
};

// One line, e.g. "expose", "error 12", "fault exception 6 3", "status". Blank lines and '#' comments
// are accepted and do nothing.
ControlResult ExecuteControlLine(UnitModel& model, std::string_view line);

// The list of commands, for "help" and the front ends' usage text.
const char* ControlHelp();

} // namespace emu
