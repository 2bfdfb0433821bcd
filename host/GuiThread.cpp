// StartDialog and the GUI thread: backdrop, panel design, modal run, close sequence.
#include "host/GuiThread.h"

#include "controls/BackWnd.h"
#include "host/LinkAccess.h"
#include "panel/DesignDialog.h"
#include "support/EventLog.h"
#include "support/RVSharedObj.h"
#include "support/Settings.h"
#include "support/WinRegistry.h"

#include <atomic>
#include <cstring>
#include <memory>

namespace controls {}
using namespace controls; // CBackWnd

namespace host {
namespace {

constexpr uint32_t kStartPgmRefusedOutsideMajor3 = 1u << 24;
constexpr uint32_t kStartPgmRefusedOutsideTechnicalMenu = 1u << 25;
constexpr uint16_t kStateTechnicalMenuMask = 0x0C00;
constexpr uint16_t kStateTechnicalMenu = 0x0800;
// The GUI thread keeps the panel object until StartDialog has finished with it (at most both waits).
constexpr DWORD kHandshakeDoneWaitMs = 2 * kStartWaitMs + 1000;

// What StartDialog and the GUI thread share for one panel start; each side holds a reference, so
// neither outlives the other's events.
struct PanelHandshake {
    platform::UniqueKernelHandle startEvent{::CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    // Set by StartDialog when it no longer touches the panel object.
    platform::UniqueKernelHandle handshakeDone{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<CDesignDialog*> panel{nullptr}; // set by the GUI thread before startEvent
    std::atomic<HWND> window{nullptr};          // the panel's window as published to other threads
};

struct GuiThreadStart {
    std::shared_ptr<PanelHandshake> handshake;
    HMODULE moduleReference = nullptr; // keeps the module loaded while the thread runs
};

// Null when the link lock cannot be taken: no panel then, and StartDialog reports the failure.
CDesignDialog* MakeDesign(HWND parent) {
    support::LockGuard lock(LinkLock());
    if (!lock.owns())
        return nullptr;
    return theApp().mode == 0           ? static_cast<CDesignDialog*>(new CDesignDialogV3(parent))
           : LinkProtocolVersion() == 2 ? static_cast<CDesignDialog*>(new CDesignDialogV2(parent))
                                        : static_cast<CDesignDialog*>(new CDesignDialogV1(parent));
}

void Publish(PanelHandshake& handshake, HWND window) {
    handshake.window = window;
    theApp().panelWindow = window;
}

// A panel that came up after StartDialog gave up waiting is published by its own thread, from the
// first timer tick of its modal loop (its window exists by then). The timer id carries the handshake.
void CALLBACK PublishLatePanel(HWND backdrop, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(backdrop, id);
    auto* handshake = reinterpret_cast<PanelHandshake*>(id);
    if (CDesignDialog* panel = handshake->panel.load())
        if (!handshake->window.load() && panel->GetHwnd())
            Publish(*handshake, panel->GetHwnd());
}

void RunPanel(PanelHandshake& handshake) {
    CLumen70App& app = theApp();
    CBackWnd backdrop(nullptr);
    std::unique_ptr<CDesignDialog> panel(MakeDesign(backdrop.GetHwnd()));
    if (!panel) {
        ::SetEvent(handshake.startEvent.Get());
        return;
    }
    app.panel = panel.get();
    handshake.panel = panel.get();
    const UINT_PTR lateTimer = reinterpret_cast<UINT_PTR>(&handshake);
    ::SetTimer(backdrop.GetHwnd(), lateTimer, USER_TIMER_MINIMUM, &PublishLatePanel);
    ::SetEvent(handshake.startEvent.Get());
    panel->DoModal();
    ::KillTimer(backdrop.GetHwnd(), lateTimer);

    // The window is withdrawn only once StartDialog is done publishing it (normally long since).
    ::WaitForSingleObject(handshake.handshakeDone.Get(), kHandshakeDoneWaitMs);
    HWND window = handshake.window.load();
    app.panelWindow.compare_exchange_strong(window, nullptr); // a later panel's window stays

    RefreshShotRecords();
    CloseBus();
    if (HostNotifyFunction notify = app.hostNotify.load()) {
        notify(kHostEventPanelClosed);
        notify(kHostEventPanelClosedEnd);
    }
    // From here on the host may have unloaded the module: the reference this thread holds keeps
    // the code; the thread handle is StartDialog's to close, never this thread's.
    CDesignDialog* mine = panel.get();
    app.panel.compare_exchange_strong(mine, nullptr); // a later StartDialog's panel stays
    panel.reset();
}

DWORD WINAPI GuiThreadMain(void* parameter) {
    std::unique_ptr<GuiThreadStart> start(static_cast<GuiThreadStart*>(parameter));
    HMODULE self = start->moduleReference;
    try {
        RunPanel(*start->handshake);
    } catch (...) {
        // Nothing may unwind out of the thread into the host.
    }
    start.reset();
    ::FreeLibraryAndExitThread(self, 0);
}

bool StartPgmRefuses(uint16_t state) {
    bool refused = false;
    int32_t startPgm = 0;
    if (theApp().unitMajor3 == 0) {
        support::ReadNumberOnce(support::SystemRegistry(), support::kPanoPath, "StartPGM", startPgm, 0);
        if (static_cast<uint32_t>(startPgm) & kStartPgmRefusedOutsideMajor3)
            refused = true;
    }
    if ((state & kStateTechnicalMenuMask) != kStateTechnicalMenu) {
        support::ReadNumberOnce(support::SystemRegistry(), support::kPanoPath, "StartPGM", startPgm, 0);
        if (static_cast<uint32_t>(startPgm) & kStartPgmRefusedOutsideTechnicalMenu)
            refused = true;
    }
    return refused;
}

} // namespace

HWND PanelWindow() {
    HWND wnd = theApp().panelWindow.load();
    return wnd && ::IsWindow(wnd) ? wnd : nullptr;
}

int StartDialog(uint32_t hostValue, uint32_t* windowSlot, HostNotifyFunction notify, uint8_t mode,
                const uint32_t* userText) {
    CLumen70App& app = theApp();
    uint16_t state = 0;
    ReadUnitState(state);
    if (StartPgmRefuses(state))
        return ModuleLog().ReportError(kResultPanelRefused, "StartDialog", 1097);

    auto handshake = std::make_shared<PanelHandshake>();
    app.hostWindowArgument = hostValue;
    app.unitBusy = 0;
    app.hostNotify = notify;
    if (HWND previous = PanelWindow())
        ::ShowWindow(previous, SW_MINIMIZE);
    app.mode = mode;
    if (userText)
        std::memcpy(app.userText, userText, kUserTextSize);
    else
        std::memset(app.userText, 0, kUserTextSize);

    auto start = std::make_unique<GuiThreadStart>();
    start->handshake = handshake;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&GuiThreadMain),
                         &start->moduleReference);
    HMODULE reference = start->moduleReference;
    DWORD threadId = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, &GuiThreadMain, start.get(), 0, &threadId);
    if (!thread) {
        if (reference)
            ::FreeLibrary(reference);
        return ModuleLog().ReportError(kResultPanelTimedOut, "StartDialog", 1133);
    }
    start.release(); // the thread owns it now
    // The handle of an earlier GUI thread is closed here, by its only owner.
    app.guiThread.Reset(thread);
    app.guiThreadId = threadId;

    int result = kResultPanelTimedOut;
    if (::WaitForSingleObject(handshake->startEvent.Get(), kStartWaitMs) == WAIT_OBJECT_0) {
        // The GUI thread keeps this panel object alive until handshakeDone.
        CDesignDialog* panel = handshake->panel.load();
        HANDLE initialised = panel ? panel->InitialisedEvent() : nullptr;
        if (initialised && ::WaitForSingleObject(initialised, kStartWaitMs) == WAIT_OBJECT_0) {
            HWND window = panel->GetHwnd();
            Publish(*handshake, window);
            if (windowSlot)
                *windowSlot = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
            ::SetEvent(panel->ReleaseEvent());
            result = kResultSuccess;
        }
    }
    ::SetEvent(handshake->handshakeDone.Get());
    if (result != kResultSuccess)
        return ModuleLog().ReportError(kResultPanelTimedOut, "StartDialog", 1133);
    return result;
}

} // namespace host
