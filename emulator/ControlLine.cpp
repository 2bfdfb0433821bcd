// Parses and runs scenario-control lines against the unit model.
#include "emulator/ControlLine.h"

#include <cerrno>
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

} // namespace

const char* ControlHelp() {
    return "status | press | release | expose [HOLD_MS] | error N (0 clears) | conditions V | conditions raw "
           "V "
           "| wait SECONDS | wait none | technical on|off | access 0..3 | voice on|off | rotation N "
           "| acquisition fail|ok | panel on|off | command WORD | corrupt cal|factory|prefs "
           "| fault none | fault noanswer K | fault badcrc K | fault exception CODE K | fault slow MS K "
           "| port missing|present | advance MS | speed FACTOR | help";
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
        if (arg(1) == "cal" || arg(1) == "calibration")
            model.CorruptBlock(Block::Calibration);
        else if (arg(1) == "factory")
            model.CorruptBlock(Block::Factory);
        else if (arg(1) == "prefs" || arg(1) == "preferences")
            model.CorruptBlock(Block::Preferences);
        else
            return Bad("corrupt cal|factory|prefs");
        return Ok();
    }
    if (verb == "fault" && argc >= 1) {
        const std::string& kind = arg(1);
        if (kind == "none" && argc == 1) {
            model.InjectFault({}, 0);
            return Ok();
        }
        if ((kind == "noanswer" || kind == "badcrc") && argc == 2 && ParseNumber(arg(2), 1000000, k) &&
            k > 0) {
            model.InjectFault({kind == "noanswer" ? FaultKind::NoAnswer : FaultKind::BadCrc, 0, 0},
                              static_cast<uint32_t>(k));
            return Ok();
        }
        if (kind == "exception" && argc == 3 && ParseNumber(arg(2), 11, n) && n >= 1 &&
            ParseNumber(arg(3), 1000000, k) && k > 0) {
            model.InjectFault({FaultKind::Exception, static_cast<int>(n), 0}, static_cast<uint32_t>(k));
            return Ok();
        }
        if (kind == "slow" && argc == 3 && ParseNumber(arg(2), 60000, n) && ParseNumber(arg(3), 1000000, k) &&
            k > 0) {
            model.InjectFault({FaultKind::Slow, 0, static_cast<uint32_t>(n)}, static_cast<uint32_t>(k));
            return Ok();
        }
        return Bad("fault none | noanswer K | badcrc K | exception CODE(1-11) K | slow MS K");
    }
    if (verb == "port" && argc == 1 && (arg(1) == "missing" || arg(1) == "present")) {
        model.SetPortMissing(arg(1) == "missing");
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
