// The unit error processing: log, panel and unit displays, prompt, the handling the code calls for,
// and the latch cleared at the end whatever the handling did.
#include "support/UnitErrorHandling.h"

#include "nxlang/TextIds.h"
#include "panel/PanelOperations.h"
#include "platform/Module.h"
#include "support/ErrorDialogs.h"

#include <cstdio>

namespace support {

namespace {

// Results of the panel when the error processing closes it.
constexpr int kPanelClosedOnFault = 0;
constexpr int kPanelClosedFatal = 1;
// ShowInfoCode's kind for an error code ("E%.2d").
constexpr int kInfoCodeError = 0;
// Program families below this one take images; from it on come the mode switch, calibrations, service.
constexpr uint8_t kFirstNonImagingFamily = 4;

int ErrorBox(CPanelOperations& panel, int32_t code, const std::string& body, UINT flags) {
    return ::MessageBoxA(panel.PanelWindow(), body.c_str(), ErrorCaption(code).c_str(), flags);
}

// After a set-point error: an imaging program with an acquisition pending cannot go on.
void CheckSelectionAfterSetPointError(CPanelOperations& panel, unitlink::UnitLink& link) {
    unitlink::SelectionRecord selection;
    bool read = false;
    {
        LockGuard guard(link.Lock());
        if (unitlink::CJbus* jbus = guard.owns() ? link.Get() : nullptr)
            read = jbus->ReadSelection(&selection);
    }
    if (read && selection.ProgramFamily() < kFirstNonImagingFamily && selection.Nox() != 0)
        panel.ClosePanel(kPanelClosedOnFault);
}

void HandleUnitFault(CPanelOperations& panel, UnitErrorServices& services, int32_t code) {
    const std::string body = platform::LoadText(nxlang::UnitFaultText(code)) + "\n\n\n" +
                             platform::LoadText(nxlang::ErrorDialog::GeneralAdvice);
    if (ErrorBox(panel, code, body, MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY) {
        panel.ClosePanel(kPanelClosedOnFault);
        return;
    }
    const bool technician = services.technicalAccess && services.technicalAccess();
    LockGuard guard(services.link.Lock());
    if (unitlink::CJbus* jbus = guard.owns() ? services.link.Get() : nullptr)
        jbus->WriteCommand(UnitFaultRetryCommand(code, technician));
}

void HandleCommunicationFailure(CPanelOperations& panel, UnitErrorServices& services, int32_t code) {
    // Closed before the box: while it is open, nothing may keep talking to a unit that is gone.
    {
        LockGuard guard(services.link.Lock());
        if (unitlink::CJbus* jbus = guard.owns() ? services.link.Get() : nullptr)
            jbus->Close();
    }
    ErrorBox(panel, code, platform::LoadText(nxlang::Message::LinkLost), MB_OK | MB_ICONSTOP);
    panel.ClosePanel(kPanelClosedOnFault);
}

void HandleFatalCycleError(CPanelOperations& panel, int32_t code) {
    panel.SendCommand(kPanelInactiveCommand);
    const std::string body =
        code == 201 ? platform::LoadText(nxlang::Message::SecurityTimeOut) : std::string();
    ErrorBox(panel, code, body, MB_OK | MB_ICONSTOP);
    panel.ClosePanel(kPanelClosedFatal);
}

void HandleByKind(CPanelOperations& panel, UnitErrorServices& services, int32_t code) {
    switch (ClassifyUnitError(code)) {
    case UnitErrorKind::SetPoint: {
        CErrConsigne dialog(panel.PanelWindow(), code, services.link);
        dialog.DoModal();
        CheckSelectionAfterSetPointError(panel, services.link);
        break;
    }
    case UnitErrorKind::SetPointTable: {
        CErrConsigne dialog(panel.PanelWindow(), code, services.link);
        dialog.DoModal();
        panel.RefreshSelection();
        break;
    }
    case UnitErrorKind::UnitFault:
        HandleUnitFault(panel, services, code);
        break;
    case UnitErrorKind::DataBlock: {
        CErrEtalFab dialog(panel.PanelWindow(), code, services);
        if (dialog.DoModal() != 0)
            panel.ClosePanel(kPanelClosedFatal);
        break;
    }
    case UnitErrorKind::CommunicationFailure:
        HandleCommunicationFailure(panel, services, code);
        break;
    case UnitErrorKind::SecurityTimeOut:
    case UnitErrorKind::AcquisitionFailed:
        HandleFatalCycleError(panel, code);
        break;
    case UnitErrorKind::None:
        break;
    }
}

// Clears the latch on every way out, an exception included.
class LatchClearer {
public:
    explicit LatchClearer(unitlink::ErrorLatch& latch) : m_latch(latch) {}
    ~LatchClearer() { m_latch.Clear(); }
    LatchClearer(const LatchClearer&) = delete;
    LatchClearer& operator=(const LatchClearer&) = delete;

private:
    unitlink::ErrorLatch& m_latch;
};

} // namespace

std::string ErrorCaption(int32_t code) {
    const std::string word = platform::LoadText(nxlang::ErrorDialog::ErrorWord);
    char caption[128];
    std::snprintf(caption, sizeof caption, "%s n\xB0%d", word.c_str(), static_cast<int>(code));
    return caption;
}

void HandleUnitError(CPanelOperations& panel, UnitErrorServices& services) {
    LatchClearer clearer(services.latch);
    const int32_t code = services.latch.GetLatchedError();
    if (code == 0)
        return;
    const uint64_t now = services.nowMs ? services.nowMs() : 0;
    if (!services.repeats.ShouldHandle(code, now))
        return;

    if (services.refreshShotInfo)
        services.refreshShotInfo();
    char message[32];
    std::snprintf(message, sizeof message, "Error n\xB0%.2d", static_cast<int>(code));
    services.log.WriteLogEntry(kLogLevelError, message, kProcessErrorFunction, kProcessErrorLine);

    if (HasUnitErrorTexts(code)) {
        panel.ShowMessage(nxlang::ErrorUnitLine(code));
        panel.ShowInfoCode(code, kInfoCodeError);
    }
    panel.PlayVoicePrompt(UnitErrorPrompt(code));
    HandleByKind(panel, services, code);
}

} // namespace support
