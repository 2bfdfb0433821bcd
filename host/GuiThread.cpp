// StartDialog and the GUI thread: backdrop, panel design, modal run, close sequence.
#include "host/GuiThread.h"

#include "controls/BackWnd.h"
#include "host/LinkAccess.h"
#include "panel/DesignDialog.h"
#include "support/EventLog.h"
#include "support/RVSharedObj.h"
#include "support/Settings.h"
#include "support/WinRegistry.h"

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

HANDLE Duplicate(HANDLE h) {
    HANDLE copy = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return copy;
}

struct GuiThreadStart {
    platform::UniqueKernelHandle startEvent;    // signalled once the panel object exists
    platform::UniqueKernelHandle handshakeDone; // StartDialog no longer touches the panel
    HMODULE moduleReference = nullptr;          // keeps the module loaded while the thread runs
};

CDesignDialog* MakeDesign(HWND parent) {
    support::LockGuard lock(LinkLock());
    if (theApp().mode == 0)
        return new CDesignDialogV3(parent);
    if (LinkProtocolVersion() == 2)
        return new CDesignDialogV2(parent);
    return new CDesignDialogV1(parent);
}

void RunPanel(GuiThreadStart& start) {
    CLumen70App& app = theApp();
    CBackWnd backdrop(nullptr);
    std::unique_ptr<CDesignDialog> panel(MakeDesign(backdrop.GetHwnd()));
    app.panel = panel.get();
    ::SetEvent(start.startEvent.Get());
    panel->DoModal();

    RefreshShotRecords();
    CloseBus();
    if (HostNotifyFunction notify = app.hostNotify.load()) {
        notify(kHostEventPanelClosed);
        notify(kHostEventPanelClosedEnd);
    }

    ::WaitForSingleObject(start.handshakeDone.Get(), kHandshakeDoneWaitMs);
    CDesignDialog* mine = panel.get();
    app.panel.compare_exchange_strong(mine, nullptr); // a later StartDialog's panel stays
    panel.reset();
    if (app.guiThreadId == ::GetCurrentThreadId()) {
        app.guiThread.Reset();
        app.guiThreadId = 0;
    }
}

DWORD WINAPI GuiThreadMain(void* parameter) {
    std::unique_ptr<GuiThreadStart> start(static_cast<GuiThreadStart*>(parameter));
    HMODULE self = start->moduleReference;
    try {
        RunPanel(*start);
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
    CDesignDialog* panel = theApp().panel.load();
    if (!panel)
        return nullptr;
    HWND wnd = panel->GetHwnd();
    return wnd && ::IsWindow(wnd) ? wnd : nullptr;
}

int StartDialog(uint32_t hostValue, uint32_t* windowSlot, HostNotifyFunction notify, uint8_t mode,
                const uint32_t* userText) {
    CLumen70App& app = theApp();
    uint16_t state = 0;
    ReadUnitState(state);
    if (StartPgmRefuses(state))
        return ModuleLog().ReportError(kResultPanelRefused, "StartDialog", 1097);

    platform::UniqueKernelHandle startEvent(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    platform::UniqueKernelHandle handshakeDone(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
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
    start->startEvent.Reset(Duplicate(startEvent.Get()));
    start->handshakeDone.Reset(Duplicate(handshakeDone.Get()));
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
    app.guiThread.Reset(thread);
    app.guiThreadId = threadId;

    int result = kResultPanelTimedOut;
    if (::WaitForSingleObject(startEvent.Get(), kStartWaitMs) == WAIT_OBJECT_0) {
        CDesignDialog* panel = app.panel.load();
        HANDLE initialised = panel ? panel->InitialisedEvent() : nullptr;
        if (initialised && ::WaitForSingleObject(initialised, kStartWaitMs) == WAIT_OBJECT_0) {
            if (windowSlot)
                *windowSlot = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(panel->GetHwnd()));
            ::SetEvent(panel->ReleaseEvent());
            result = kResultSuccess;
        }
    }
    ::SetEvent(handshakeDone.Get());
    if (result != kResultSuccess)
        return ModuleLog().ReportError(kResultPanelTimedOut, "StartDialog", 1133);
    return result;
}

} // namespace host
