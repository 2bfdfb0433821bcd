// Identifiers of the language library NxLang.dll: texts, menus, menu commands and voice prompts.
// The text and prompt names come from nxlang/Catalog.inc, the same table that builds the library's
// resources, so a name here always has its resource there.
#pragma once

#include <cstdint>

namespace nxlang {

using ResourceId = std::uint16_t;

// ---- Named texts and prompts, grouped by use -----------------------------------------------------
#define NX_GROUP(group) namespace group {
#define NX_GROUP_END() }
#define NX_TEXT(name, id, text) inline constexpr ResourceId name = id;
#define NX_PROGRAM(name, id, text) inline constexpr ResourceId name = id;
#define NX_INI(name, id, text) inline constexpr ResourceId name = id;
#define NX_INFO(name, id, unitLine, panelText) inline constexpr ResourceId name = id;
#define NX_PROMPT(name, id, sentence) inline constexpr ResourceId name = id;
#include "nxlang/Catalog.inc"

// ---- Texts addressed by arithmetic ---------------------------------------------------------------

// An information message n names the unit's display line; the panel shows n + 1. Message 4214 is the
// one whose pair lies elsewhere (4234, 4235).
constexpr ResourceId InfoUnitLine(ResourceId n) {
    return n == Info::ExposureRunning ? Info::CycleRunning : n;
}
constexpr ResourceId InfoPanelText(ResourceId n) {
    return static_cast<ResourceId>(InfoUnitLine(n) + 1);
}

// Unit error e (1..99): its line on the unit's display and its text on the panel.
inline constexpr int kFirstUnitError = 1;
inline constexpr int kLastUnitError = 99;
constexpr ResourceId ErrorUnitLine(int e) {
    return static_cast<ResourceId>(4365 + 2 * e);
}
constexpr ResourceId ErrorPanelText(int e) {
    return static_cast<ResourceId>(4366 + 2 * e);
}

// Body of the Retry/Cancel box of a unit fault.
constexpr ResourceId UnitFaultText(int code) {
    return static_cast<ResourceId>(4264 + code);
}

// ---- Menus and their commands --------------------------------------------------------------------
namespace Menu {
inline constexpr ResourceId User = 4001;      // one submenu: the user popup
inline constexpr ResourceId Technical = 4002; // two submenus: Panel::TechnicalSettings, ...Calibrations
} // namespace Menu

namespace Command {
inline constexpr ResourceId About = 33601;
inline constexpr ResourceId Counters = 33602;
inline constexpr ResourceId Communication = 33603;
inline constexpr ResourceId Preferences = 33604;
// 33605, 33606 and 33608 have no action in the panel and are in no menu.
inline constexpr ResourceId Manufacturing = 33607;
inline constexpr ResourceId ReinitialiseUnit = 33609;
inline constexpr ResourceId SaveRestore = 33610;
inline constexpr ResourceId Details = 33611;
inline constexpr ResourceId KvCalibration = 33612;
inline constexpr ResourceId MaCalibration = 33613;
inline constexpr ResourceId HeatingCalibration = 33614;
inline constexpr ResourceId StandCalibration = 33615;
inline constexpr ResourceId ResetCalibrationTable = 33616;
inline constexpr ResourceId ResetSetPoints = 33617;
inline constexpr ResourceId SelectCephalometry = 33618;
inline constexpr ResourceId SystemInformation = 33619;
inline constexpr ResourceId PanoramicPhantom = 33620;
inline constexpr ResourceId PanoramicStatic = 33621;
inline constexpr ResourceId CephalometricPhantom = 33622;
inline constexpr ResourceId CephalometricStatic = 33623;
} // namespace Command

// ---- Lists, for whoever must walk every identifier (the library's own checks) ----------------------
// Every string identifier of the library.
inline constexpr ResourceId kAllTexts[] = {
#define NX_TEXT(name, id, text) id,
#define NX_PROGRAM(name, id, text) id,
#define NX_INI(name, id, text) id,
#define NX_INFO(name, id, unitLine, panelText) id, id + 1,
#define NX_ERROR(code, unitLine, panelText) 4365 + 2 * (code), 4366 + 2 * (code),
#define NX_FAULT(code, text) 4264 + (code),
#include "nxlang/Catalog.inc"
};

// Texts written to the unit's 39-character display line.
inline constexpr ResourceId kUnitLineTexts[] = {
#define NX_INFO(name, id, unitLine, panelText) id,
#define NX_ERROR(code, unitLine, panelText) 4365 + 2 * (code),
#include "nxlang/Catalog.inc"
};

// Texts for the panel's message display.
inline constexpr ResourceId kPanelMessageTexts[] = {
#define NX_INFO(name, id, unitLine, panelText) id + 1,
#define NX_ERROR(code, unitLine, panelText) 4366 + 2 * (code),
#include "nxlang/Catalog.inc"
};

// Program names (the shot record name field).
inline constexpr ResourceId kProgramNames[] = {
#define NX_PROGRAM(name, id, text) id,
#include "nxlang/Catalog.inc"
};

// Section and key names of the unit information file.
inline constexpr ResourceId kIniNames[] = {
#define NX_INI(name, id, text) id,
#include "nxlang/Catalog.inc"
};

// Voice prompts (WAVE resources).
inline constexpr ResourceId kPrompts[] = {
#define NX_PROMPT(name, id, sentence) id,
#include "nxlang/Catalog.inc"
};

// Unit fault codes that have a message-box body.
inline constexpr int kUnitFaultCodes[] = {
#define NX_FAULT(code, text) code,
#include "nxlang/Catalog.inc"
};


} // namespace nxlang
