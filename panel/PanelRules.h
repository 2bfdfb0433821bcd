// The panel's pure rules: aligning the unit with the module's mode at start-up, the program select
// word, the value and waiting-time texts, the walking marker, and the counters of the polling cycle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace panel {

// A program selection as the panel asks for it: `first` the family, `second` the variant.
struct ProgramSelect {
    int first = 0;
    int second = 0;
    bool operator==(const ProgramSelect&) const = default;
};

// The command word of a program selection: code 0x04, the program code in the high byte.
uint16_t SelectWord(int first, int second) noexcept;

// The selection that brings the unit's program (code: low nibble family, high nibble variant) in line
// with the module's mode at start-up, given the "StartPGM" setting; nothing when it already fits.
// `mode` is the host's mode byte: 0 cephalometric, any other value panoramic (some rows need exactly 1).
std::optional<ProgramSelect> StartAlignment(uint32_t startPgm, uint8_t programCode, uint8_t mode) noexcept;

// Fixed-point text of a value with `decimals` (0..3) digits after the point, rounded half away from
// zero on the value's exact binary value, so every C runtime shows the same digits. Values that are not
// finite or beyond the display's reach show as 0.
std::string FormatFixed(double value, int decimals);

// The shot value displays.
std::string FormatKv(uint16_t kv);
std::string FormatMilliAmps(float milliAmps);             // one decimal below 10, none from 10
std::string FormatSeconds(float seconds, bool panoramic); // one decimal in panoramic mode, else two
std::string FormatDose(float dose);                       // two decimals below 10, one below 100, else none

// The waiting time "mm:ss" for a unit value below 65535 (minutes grow beyond two digits).
std::string FormatWaitingTime(uint16_t seconds);
inline constexpr uint16_t kNoWaitingTime = 65535;
// The next step of the marker shown while the unit reports no waiting time: a shown time becomes
// ">    "; otherwise the '>' moves one place right over five places, back to the first after the fifth.
std::string NextWaitingMarker(const std::string& shown);

// The security timer's period from the "SecurityTimeOut" setting: at most 2000 ms; 0, a negative or an
// absent setting means no timer (a negative one would become an unsigned period of weeks, or at once).
inline constexpr int32_t kSecurityTimeOutMaxMs = 2000;
inline int32_t SecurityTimeOutMs(int32_t setting) noexcept {
    return setting <= 0 ? 0 : (setting > kSecurityTimeOutMaxMs ? kSecurityTimeOutMaxMs : setting);
}

// The emission beep: a module-wide poll counter 0..3; the beep sounds on the polls where it reaches 3.
inline constexpr int kBeepPeriod = 4;
inline int NextBeepCount(int count) noexcept {
    return count >= kBeepPeriod - 1 ? 0 : count + 1;
}

// The information-message rotation runs on the poll where this 0..15 counter wraps to 0.
inline constexpr int kRotationPolls = 16;
inline int NextRotationTick(int tick) noexcept {
    return tick >= kRotationPolls - 1 ? 0 : tick + 1;
}

// The unit's own error code, seen at every poll while it persists: it is handed on once, again only
// after it changed or cleared, so a lasting fault is neither logged nor spoken at every poll.
class UnitErrorFilter {
public:
    // True when code is a new error to latch.
    bool Accept(uint16_t code) noexcept {
        const bool fresh = code != 0 && code != m_last;
        m_last = code;
        return fresh;
    }

private:
    uint16_t m_last = 0;
};

// The information-message rotation: eleven slots examined in turn on the conditions word; the last
// one always holds and shows the host's user text.
inline constexpr int kInfoSlots = 11;
inline constexpr int kUserTextSlot = 10;
inline constexpr int kSoftwareActiveSlot = 3;
struct InfoMessage {
    uint16_t prompt = 0; // 0: no prompt
    uint16_t message = 0;
    int code = 0;
};
// What slot shows for these conditions; nothing when its condition does not hold (slot 10: no message,
// the caller shows the user text).
std::optional<InfoMessage> InfoSlot(int slot, uint16_t conditions) noexcept;

// The unit's cycle state (state-word bits 2-5) and what the poll does with it.
inline int CycleState(uint16_t state) noexcept {
    return (state >> 2) & 0x0F;
}
enum class CycleStep { Ended, Cleared, Started, None };
CycleStep CycleStepOf(int cycleState) noexcept;

// State-word flags the panel shows.
inline constexpr uint16_t kStateEmission = 0x0040;
inline constexpr uint16_t kStateLaser = 0x0080;
inline constexpr uint16_t kStateReady = 0x0100;
inline constexpr uint16_t kStateVoice = 0x0200;
inline bool TechnicalAccessGranted(uint16_t state) noexcept {
    return (state & 0x0C00) == 0x0800;
}

// Program families of the panoramic programs (the security timer watches their emission).
inline bool IsPanoramicFamily(int family) noexcept {
    return family >= 0 && family <= 2;
}

} // namespace panel
