// The texts of the about box and the system information dialog, and the layout of a printed log:
// portable, so that what the operator reads and what the printer gets are checked without a screen.
#pragma once

#include "link/DataBlocks.h"
#include "link/Records.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace about {

// ---- About box ----------------------------------------------------------------------------------

// The keys shown for every module of the software box, in their order.
inline constexpr const char* kVersionKeys[] = {"FileVersion", "FileDescription", "LegalCopyright"};

struct ModuleVersionText {
    std::string name;
    // One value per key of kVersionKeys; empty when the module is absent or lacks the key.
    std::vector<std::string> values;
};

// "name\r\n" then "key:\tvalue\r\n" per key, for each module in order.
std::string SoftwareText(const std::vector<ModuleVersionText>& modules);

// The labels of the firmware box's four lines (unit type, software version, release date, serial).
struct FirmwareLabels {
    std::string unitType, softwareVersion, releaseDate, serialNumber;
};

// The firmware box: the identification's three text fields (12, 6 and 12 bytes) and the factory
// block's text (32 bytes), each up to its first 0 and never beyond its field; the tabs line the
// values up under labels of different lengths. The last line has no line end.
std::string FirmwareText(const FirmwareLabels& labels, const unitlink::IdentificationBlock& identification,
                         const unitlink::FactorySettingsBlock& factory);

// ---- Mail ---------------------------------------------------------------------------------------

// The message shown when the mail system refuses the log: the prefix and the name of its code.
std::string MailFailureText(unsigned long code);

// ---- Printing -----------------------------------------------------------------------------------

// The log cut at its line ends: CR, LF, or a CR-LF pair (one end). A last line without an end is
// kept; the empty remainder after a final end is not a line.
std::vector<std::string_view> SplitPrintLines(std::string_view text);

// Where each line goes: its page (from 0) and its top within the printable rectangle.
struct LinePlacement {
    int page = 0;
    int top = 0;
};

// Lays lines of the given heights (an empty line counts one line height) down the printable
// rectangle [top, bottom). A page ends once less than one line height is left below the lines on
// it; a wrapped line that would run past the bottom starts the next page, unless it already stands
// first on its page (it cannot be placed better). Pages are only counted when a line is put on them.
std::vector<LinePlacement> PlaceLines(const std::vector<int>& heights, int lineHeight, int top, int bottom);

} // namespace about
