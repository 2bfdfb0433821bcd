// Port opening and unit identification: the module-wide unit link, opened with the stored port and
// baud rate, given the register map that fits the unit's software, checked and greeted with the
// module's text; closing and destroying it.
#pragma once

#include "link/Jbus.h"
#include "support/EventLog.h"
#include "support/Lockable.h"
#include "support/RegistryStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace unitlink {

// Results of the port-opening export.
inline constexpr int kOpenCommPortSuccess = 15;
inline constexpr int kOpenCommPortFailure = 1;

// Language-library identifiers used here.
inline constexpr int kMessageSettingsMissing = 4671;
inline constexpr int kMessageUnitTooOld = 4672;
inline constexpr int kTextModuleGreeting = 4210;

// The unit's software version as its identification writes it ("1.02"), read without the process
// locale: a host that switched to a comma decimal point must not make every unit look too old.
struct UnitVersion {
    int major = 0;              // the integer part (leading digits, as atoi reads them)
    int64_t millionths = 0;     // the whole value in millionths, fraction digits beyond six dropped
    bool AtLeast(int wholePart, int hundredths) const noexcept {
        return millionths >= int64_t{wholePart} * 1000000 + int64_t{hundredths} * 10000;
    }
};
UnitVersion ParseUnitVersion(std::string_view text) noexcept;

// The one unit link of the module and the lock that guards it. All access goes through the lock.
class UnitLink {
public:
    UnitLink(support::Lockable& lock, const BusApi& bus, ErrorLatch& latch, CJbus::WaitFunction wait = {});
    ~UnitLink();
    UnitLink(const UnitLink&) = delete;
    UnitLink& operator=(const UnitLink&) = delete;

    support::Lockable& Lock() noexcept { return m_lock; }
    // The link, null when there is none; use it only while holding Lock().
    CJbus* Get() noexcept { return m_link.get(); }

    // Creates the link for a protocol version (1 or 2), replacing any existing one after closing it.
    CJbus& Create(int protocolVersion);
    // Under the lock: closes the bus when it is open and destroys the link.
    void CloseLink();
    // Under the lock: the bus handle, or -1 when there is no link.
    int32_t GetLinkHandle();

private:
    support::Lockable& m_lock;
    BusApi m_bus;
    ErrorLatch& m_latch;
    CJbus::WaitFunction m_wait;
    std::unique_ptr<CJbus> m_link;
};

// What port opening needs from the module.
struct PortOpeningServices {
    support::RegistryStore& registry;
    support::EventLog& log;
    // Shows a language-library message modally; errorIcon picks the error icon.
    std::function<void(int textId, bool errorIcon)> showMessage;
    // A language-library text; empty when the library has none.
    std::function<std::string(int textId)> loadText;
};

// The module-object flags that port opening sets.
struct UnitFeatureFlags {
    int32_t& newUnitFeatures;
    uint8_t& unitMajor3;
};

// The port-opening export's work: 15 when the unit is identified and greeted, else 1 (logged as
// error number 401), leaving no link.
int OpenCommPort(UnitLink& link, const PortOpeningServices& services, UnitFeatureFlags flags);

// Reads the identification, refuses units below 1.0 (message 4672), sets newUnitFeatures and writes
// the module's text into the unit's host text area. Takes the link lock (re-entrant).
bool CheckUnitIdentification(UnitLink& link, const PortOpeningServices& services, UnitFeatureFlags flags);

} // namespace unitlink
