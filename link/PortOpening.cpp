// Port opening, unit identification, closing the link.
#include "link/PortOpening.h"

#include "link/DisplayText.h"
#include "link/JbusV1.h"
#include "link/JbusV2.h"
#include "link/Records.h"
#include "support/Settings.h"

#include <algorithm>

namespace unitlink {

namespace {

constexpr char kFunctionName[] = "CLumen70App::OpenCommPort";
constexpr int kSettingsMissingLocation = 952;
constexpr int kResultLocation = 999;
constexpr char kSettingsMissingText[] = "Register base read failed";

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

} // namespace

UnitVersion ParseUnitVersion(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    // Six digits are more than any unit writes in its 6-byte field; the cap keeps the sums in range.
    constexpr int64_t kWholeCap = 1000000;
    int64_t whole = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        whole = std::min(whole * 10 + (text[i] - '0'), kWholeCap);
    int64_t fraction = 0;
    int64_t scale = 100000;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && IsDigit(text[i]); ++i, scale /= 10)
            fraction += (text[i] - '0') * scale;

    UnitVersion version;
    version.major = static_cast<int>(negative ? -whole : whole);
    version.millionths = (negative ? -1 : 1) * (whole * 1000000 + fraction);
    return version;
}

UnitLink::UnitLink(support::Lockable& lock, const BusApi& bus, ErrorLatch& latch, CJbus::WaitFunction wait)
    : m_lock(lock), m_bus(bus), m_latch(latch), m_wait(std::move(wait)) {}

UnitLink::~UnitLink() { CloseLink(); }

// Called by the port opening, which already holds the lock: this re-entrant take cannot fail.
CJbus& UnitLink::Create(int protocolVersion) {
    support::LockGuard guard(m_lock);
    m_link.reset();
    if (protocolVersion == 2)
        m_link = std::make_unique<CJbusV2>(m_bus, m_latch, m_wait);
    else
        m_link = std::make_unique<CJbusV1>(m_bus, m_latch, m_wait);
    return *m_link;
}

void UnitLink::CloseLink() {
    support::LockGuard guard(m_lock);
    if (!guard.owns())
        return;
    if (m_link && m_link->GetHandle() != kClosedHandle)
        m_link->Close();
    m_link.reset();
}

int32_t UnitLink::GetLinkHandle() {
    support::LockGuard guard(m_lock);
    if (!guard.owns())
        return kClosedHandle;
    return m_link ? m_link->GetHandle() : kClosedHandle;
}

bool CheckUnitIdentification(UnitLink& link, const PortOpeningServices& services, UnitFeatureFlags flags) {
    support::LockGuard guard(link.Lock());
    if (!guard.owns())
        return false;
    CJbus* jbus = link.Get();
    IdentificationBlock identification;
    if (!jbus || !jbus->ReadIdentification(&identification))
        return false;

    const UnitVersion version = ParseUnitVersion(identification.VersionText());
    if (!version.AtLeast(1, 0)) {
        if (services.showMessage)
            services.showMessage(kMessageUnitTooOld, true);
        return false;
    }
    flags.newUnitFeatures = version.AtLeast(1, 2) ? 1 : 0;

    const std::string greeting = services.loadText ? services.loadText(kTextModuleGreeting) : std::string();
    const UnitTextArea text = ToUnitDisplayText(greeting);
    return jbus->WriteHostText(&text);
}

int OpenCommPort(UnitLink& link, const PortOpeningServices& services, UnitFeatureFlags flags) {
    const support::SettingsKey panoKey(services.registry, support::kPanoPath, support::SettingsKey::Read);
    const support::SettingsKey lumenKey(services.registry, support::kLumenPath, support::SettingsKey::Read);
    int result = kOpenCommPortFailure;
    {
        support::LockGuard guard(link.Lock());
        if (!guard.owns())
            return services.log.ReportError(result, kFunctionName, kResultLocation);
        bool identified = false;
        if (!panoKey.IsOpen() || !lumenKey.IsOpen()) {
            if (services.showMessage)
                services.showMessage(kMessageSettingsMissing, false);
            services.log.WriteLogEntry(support::kLogLevelError, kSettingsMissingText, kFunctionName,
                                       kSettingsMissingLocation);
        } else {
            // One port character: a longer text counts as missing, so "12" cannot open COM1 by mistake.
            char portCharacter[2] = {};
            panoKey.ReadText("COM", portCharacter, sizeof portCharacter, "");
            const std::string portName = std::string("COM") + portCharacter;
            int32_t baudRate = 0;
            lumenKey.ReadNumber("Baudrate", baudRate, 0);

            bool readyToCheck = false;
            if (CJbus* existing = link.Get()) {
                // An open link is used as it is; a closed one is re-opened with the current settings.
                if (existing->GetHandle() == kClosedHandle)
                    existing->Open(portName.c_str(), baudRate);
                readyToCheck = true;
            } else {
                // A failed open shows up as a failed identification read just below.
                CJbus& v1 = link.Create(1);
                v1.Open(portName.c_str(), baudRate);
                IdentificationBlock identification;
                if (v1.ReadIdentification(&identification)) {
                    const int major = ParseUnitVersion(identification.VersionText()).major;
                    if (major == 3)
                        flags.unitMajor3 = 1;
                    if (major == 2 || major == 3) {
                        link.CloseLink();
                        link.Create(2).Open(portName.c_str(), baudRate);
                    }
                    readyToCheck = true;
                }
            }
            identified = readyToCheck && CheckUnitIdentification(link, services, flags);
        }
        if (identified)
            result = kOpenCommPortSuccess;
        else
            link.CloseLink();
    }
    return services.log.ReportError(result, kFunctionName, kResultLocation);
}

} // namespace unitlink
