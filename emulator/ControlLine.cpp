// Parses and runs scenario-control lines against the unit model.
#include "emulator/ControlLine.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace emu {

namespace {

bool ParseNumber(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed > max)
        return false;
    value = parsed;
    return true;
}

ControlResult Ok(std::string reply = "ok") {
    return {true, std::move(reply)};
}
ControlResult Bad(std::string why) {
    return {false, "error: " + why};
}

bool OnOff(const std::string& word, bool& on) {
    if (word == "on" || word == "1" || word == "yes") {
        on = true;
        return true;
    }
    if (word == "off" || word == "0" || word == "no") {
        on = false;
        return true;
    }
    return false;
}

bool ParseReal(const std::string& text, double limit, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(value) && std::fabs(value) <= limit;
}

bool ParseBlock(const std::string& word, Block& block) {
    if (word == "cal" || word == "calibration")
        block = Block::Calibration;
    else if (word == "factory")
        block = Block::Factory;
    else if (word == "prefs" || word == "preferences")
        block = Block::Preferences;
    else
        return false;
    return true;
}

// "... on command WORD", "... on address ADDR", "... on function F" at the end of a fault line.
bool TakeFaultTarget(std::vector<std::string>& words, FaultTarget& target) {
    const size_t n = words.size();
    if (n < 4 || words[n - 3] != "on")
        return true; // untargeted
    unsigned long value = 0;
    const std::string& kind = words[n - 2];
    if (kind == "command" && ParseNumber(words[n - 1], 0xFFFF, value))
        target.kind = FaultTarget::Kind::Command;
    else if (kind == "address" && ParseNumber(words[n - 1], 0xFFFF, value))
        target.kind = FaultTarget::Kind::Address;
    else if (kind == "function" && ParseNumber(words[n - 1], 255, value) && value > 0)
        target.kind = FaultTarget::Kind::Function;
    else
        return false;
    target.value = static_cast<uint16_t>(value);
    words.resize(n - 3);
    return true;
}

std::string HexWords(const std::vector<uint16_t>& words) {
    std::string text;
    char buffer[8];
    for (uint16_t w : words) {
        std::snprintf(buffer, sizeof buffer, text.empty() ? "%04X" : " %04X", w);
        text += buffer;
    }
    return text;
}

} // namespace

const char* ControlHelp() {
    return "status | press | release | expose [HOLD_MS] | error N (0 clears) | conditions V | conditions raw "
           "V "
           "| wait SECONDS | wait none | technical on|off | access 0..3 | voice on|off | rotation N "
           "| acquisition fail|ok | panel on|off | command WORD | corrupt cal|factory|prefs "
           "| fault none | fault noanswer K | fault badcrc K | fault exception CODE K | fault slow MS K "
           "(each optionally followed by: on command WORD | on address ADDR | on function F) "
           "| port missing|present | port fail|ok | history commands|writes|requests [N] | history clear "
           "| frames GOOD BAD | counters SHOTS JOULES | selection raw PROGRAM AGE BUILD NOX | cycle STATE "
           "| option INDEX VALUE | doseunit V | blocks stored|live cal|factory|prefs "
           "| generator kv|ma GAIN OFFSET | generator none | advance MS | speed FACTOR | help";
}

ControlResult ExecuteControlLine(UnitModel& model, std::string_view line) {
    std::vector<std::string> words;
    {
        std::istringstream in{std::string(line)};
        std::string word;
        while (in >> word) {
            if (word[0] == '#')
                break;
            for (char& c : word)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            words.push_back(word);
        }
    }
    if (words.empty())
        return Ok("");
    FaultTarget target;
    if (words[0] == "fault" && !TakeFaultTarget(words, target))
        return Bad("a fault's target is: on command WORD | on address ADDR | on function F(1-255)");
    const std::string& verb = words[0];
    const size_t argc = words.size() - 1;
    auto arg = [&](size_t i) -> const std::string& { return words[i]; };
    unsigned long n = 0, k = 0;
    bool on = false;

    if (verb == "help")
        return Ok(ControlHelp());
    if (verb == "status" && argc == 0)
        return Ok(model.Status());
    if (verb == "press" && argc == 0)
        return model.PressSwitch() ? Ok("ok cycle started") : Ok("ok switch held, unit not ready");
    if (verb == "release" && argc == 0) {
        model.ReleaseSwitch();
        return Ok();
    }
    if (verb == "expose" && argc <= 1) {
        std::optional<uint32_t> hold;
        if (argc == 1) {
            if (!ParseNumber(arg(1), 3600000, n))
                return Bad("expose takes a hold time in ms");
            hold = static_cast<uint32_t>(n);
        }
        return model.Expose(hold) ? Ok("ok cycle started") : Bad("unit not ready");
    }
    if (verb == "error" && argc == 1 && ParseNumber(arg(1), 65535, n)) {
        model.SetError(static_cast<uint16_t>(n));
        return Ok();
    }
    if (verb == "conditions" && argc == 1 && ParseNumber(arg(1), 0xFFFF, n)) {
        model.SetConditions(static_cast<uint16_t>(n));
        return Ok();
    }
    if (verb == "conditions" && argc == 2 && arg(1) == "raw" && ParseNumber(arg(2), 0xFFFF, n)) {
        model.SetConditionsRawV1(static_cast<uint16_t>(n));
        return Ok();
    }
    if (verb == "wait" && argc == 1) {
        if (arg(1) == "none") {
            model.SetWaitingNoValue();
            return Ok();
        }
        if (ParseNumber(arg(1), 65534, n)) {
            model.SetWaitingSeconds(static_cast<uint32_t>(n));
            return Ok();
        }
    }
    if (verb == "technical" && argc == 1 && OnOff(arg(1), on)) {
        model.SetAccess(on ? 2 : 0);
        return Ok();
    }
    if (verb == "access" && argc == 1 && ParseNumber(arg(1), 3, n)) {
        model.SetAccess(static_cast<uint16_t>(n));
        return Ok();
    }
    if (verb == "voice" && argc == 1 && OnOff(arg(1), on)) {
        model.SetVoice(on);
        return Ok();
    }
    if (verb == "rotation" && argc == 1 && ParseNumber(arg(1), 0xFFFF, n)) {
        model.SetRotation(static_cast<uint16_t>(n));
        return Ok();
    }
    if (verb == "acquisition" && argc == 1 && (arg(1) == "fail" || arg(1) == "ok")) {
        model.FailNextAcquisition(arg(1) == "fail");
        return Ok();
    }
    if (verb == "panel" && argc == 1 && OnOff(arg(1), on)) {
        model.SetPanelActive(on);
        return Ok();
    }
    if (verb == "command" && argc == 1 && ParseNumber(arg(1), 0xFFFF, n)) {
        const int result = model.ExecuteCommand(static_cast<uint16_t>(n));
        return result == 0 ? Ok() : Ok("ok refused with exception " + std::to_string(result));
    }
    if (verb == "corrupt" && argc == 1) {
        Block block;
        if (!ParseBlock(arg(1), block))
            return Bad("corrupt cal|factory|prefs");
        model.CorruptBlock(block);
        return Ok();
    }
    if (verb == "fault" && argc >= 1) {
        const std::string& kind = arg(1);
        if (kind == "none" && argc == 1 && target.kind == FaultTarget::Kind::Any) {
            model.InjectFault({}, 0);
            return Ok();
        }
        if ((kind == "noanswer" || kind == "badcrc") && argc == 2 && ParseNumber(arg(2), 1000000, k) &&
            k > 0) {
            model.InjectFault({kind == "noanswer" ? FaultKind::NoAnswer : FaultKind::BadCrc, 0, 0},
                              static_cast<uint32_t>(k), target);
            return Ok();
        }
        if (kind == "exception" && argc == 3 && ParseNumber(arg(2), 11, n) && n >= 1 &&
            ParseNumber(arg(3), 1000000, k) && k > 0) {
            model.InjectFault({FaultKind::Exception, static_cast<int>(n), 0}, static_cast<uint32_t>(k),
                              target);
            return Ok();
        }
        if (kind == "slow" && argc == 3 && ParseNumber(arg(2), 60000, n) && ParseNumber(arg(3), 1000000, k) &&
            k > 0) {
            model.InjectFault({FaultKind::Slow, 0, static_cast<uint32_t>(n)}, static_cast<uint32_t>(k),
                              target);
            return Ok();
        }
        return Bad("fault none | noanswer K | badcrc K | exception CODE(1-11) K | slow MS K");
    }
    if (verb == "port" && argc == 1 && (arg(1) == "missing" || arg(1) == "present")) {
        model.SetPortMissing(arg(1) == "missing");
        return Ok();
    }
    if (verb == "port" && argc == 1 && (arg(1) == "fail" || arg(1) == "ok")) {
        model.SetPortFailed(arg(1) == "fail");
        return Ok();
    }
    if (verb == "history" && argc == 1 && arg(1) == "clear") {
        model.ClearHistory();
        return Ok();
    }
    if (verb == "history" && (argc == 1 || (argc == 2 && ParseNumber(arg(2), history::kCapacity, n)))) {
        const size_t last = argc == 2 ? n : history::kCapacity;
        if (arg(1) == "commands")
            return Ok(history::FormatCommands(model.CommandHistory(), last));
        if (arg(1) == "writes")
            return Ok(history::FormatWrites(model.WriteHistory(), last));
        if (arg(1) == "requests")
            return Ok(history::FormatRequests(model.RequestHistory(), last));
    }
    if (verb == "frames" && argc == 2 && ParseNumber(arg(1), 0xFFFF, n) && ParseNumber(arg(2), 0xFFFF, k)) {
        model.SetFrameCounters(static_cast<uint16_t>(n), static_cast<uint16_t>(k));
        return Ok();
    }
    if (verb == "counters" && argc == 2 && ParseNumber(arg(1), 0xFFFFFFFF, n) &&
        ParseNumber(arg(2), 0xFFFFFFFF, k)) {
        model.SetUnitCounters(static_cast<uint32_t>(n), static_cast<uint32_t>(k));
        return Ok();
    }
    if (verb == "selection" && argc == 5 && arg(1) == "raw") {
        unsigned long age = 0, build = 0, nox = 0;
        if (ParseNumber(arg(2), 0xFF, n) && ParseNumber(arg(3), 0xFFFF, age) &&
            ParseNumber(arg(4), 0xFFFF, build) && ParseNumber(arg(5), 0xFFFF, nox)) {
            model.ForceSelection(static_cast<uint8_t>(n), static_cast<uint16_t>(age),
                                 static_cast<uint16_t>(build), static_cast<uint16_t>(nox));
            return Ok();
        }
        return Bad("selection raw PROGRAM(0-255) AGE BUILD NOX (words)");
    }
    if (verb == "cycle" && argc == 1 && ParseNumber(arg(1), 15, n)) {
        model.ForceCycleState(static_cast<uint16_t>(n));
        return Ok();
    }
    if (verb == "option" && argc == 2 && ParseNumber(arg(1), 4, n) && ParseNumber(arg(2), 0xFFFF, k)) {
        model.SetFactoryOption(static_cast<int>(n), static_cast<uint16_t>(k));
        return Ok();
    }
    if (verb == "doseunit" && argc == 1 && ParseNumber(arg(1), 0xFFFF, n)) {
        model.SetDoseUnit(static_cast<uint16_t>(n));
        return Ok();
    }
    if (verb == "blocks" && argc == 2 && (arg(1) == "stored" || arg(1) == "live")) {
        Block block;
        if (!ParseBlock(arg(2), block))
            return Bad("blocks stored|live cal|factory|prefs");
        return Ok(HexWords(model.BlockWords(block, arg(1) == "stored")));
    }
    if (verb == "generator" && argc == 1 && arg(1) == "none") {
        model.SetGeneratorError(true, 1, 0);
        model.SetGeneratorError(false, 1, 0);
        return Ok();
    }
    if (verb == "generator" && argc == 3 && (arg(1) == "kv" || arg(1) == "ma")) {
        double gain = 0, offset = 0;
        if (!ParseReal(arg(2), 10, gain) || gain <= 0 || !ParseReal(arg(3), 100, offset))
            return Bad("generator kv|ma GAIN(above 0, at most 10) OFFSET(within 100)");
        model.SetGeneratorError(arg(1) == "kv", gain, offset);
        return Ok();
    }
    if (verb == "advance" && argc == 1 && ParseNumber(arg(1), 86400000, n)) {
        model.GetClock().Skip(n);
        return Ok();
    }
    if (verb == "speed" && argc == 1) {
        char* end = nullptr;
        const double speed = std::strtod(arg(1).c_str(), &end);
        if (end != arg(1).c_str() && *end == '\0' && model.GetClock().SetSpeed(speed))
            return Ok();
        return Bad("speed takes a factor above 0 and at most 10000 (and a real-time clock)");
    }
    return Bad("unknown or malformed command '" + std::string(line) + "'; try help");
}

} // namespace emu
