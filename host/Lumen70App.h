// CLumen70App: the module object, one instance from library load to unload, and the module-wide
// objects beside it (link lock, log lock and event log).
#pragma once

#include "link/ErrorLatch.h"
#include "platform/Handle.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CRVSharedObj;
class CDesignDialog;
namespace support {
class EventLog;
}

inline constexpr size_t kPanoRecordSize = 211;
inline constexpr size_t kCephRecordSize = 293;
inline constexpr size_t kUserTextSize = 256;

using HostNotifyFunction = void (*)(int32_t event);

// What the host is told through its notification function.
enum HostEvent : int32_t {
    kHostEventCycleStarted = 0, // acquire the image now
    kHostEventPanelClosed = 1,  // then kHostEventPanelClosedEnd
    kHostEventPanelClosedEnd = 3,
};

// Return codes of the exported interface.
enum ExportResult : int {
    kResultSuccess = 15,
    kResultPortFailed = 1,
    kResultPanelRefused = 3,
    kResultPanelTimedOut = 5,
};

class CLumen70App {
public:
    // Steps 2 to 7 of the library load; false refuses the load.
    bool InitInstance(HINSTANCE module);
    // The unload sequence.
    void ExitInstance();

    void RecordError(int32_t value) noexcept { firstError.RecordError(value); }
    int32_t GetLatchedError() const noexcept { return firstError.GetLatchedError(); }

    // Fields in declaration order; the flags and shot values are shared by the host thread and the
    // GUI thread without the lock.
    std::atomic<int32_t> newUnitFeatures{0};
    std::atomic<uint8_t> mirror{0};
    std::atomic<uint8_t> unitBusy{0};
    std::atomic<HostNotifyFunction> hostNotify{nullptr};
    platform::UniqueCursor handCursor;
    platform::UniqueCursor waitCursor;
    link::ErrorLatch firstError;
    std::string iniPath;
    std::string restorePath;
    std::atomic<float> shotDose{0.0f};
    std::atomic<uint16_t> shotKv{0};
    std::atomic<float> shotTime{0.0f};
    std::atomic<uint8_t> unitMajor3{0};
    std::atomic<void*> browseMaskFunction{nullptr};
    std::atomic<CDesignDialog*> panel{nullptr};
    std::unique_ptr<uint8_t[]> panoRecord; // kPanoRecordSize bytes once loaded
    std::unique_ptr<uint8_t[]> cephRecord; // kCephRecordSize bytes once loaded
    std::atomic<uint8_t> mode{0};
    HMODULE languageLibrary = nullptr;
    std::atomic<int32_t> technicalAccess{0};
    std::atomic<DWORD> guiThreadId{0};
    platform::UniqueKernelHandle guiThread; // StartDialog's alone: the GUI thread never touches it
    uint32_t hostWindowArgument = 0;
    uint8_t userText[kUserTextSize] = {};

    HINSTANCE moduleInstance = nullptr;
    // The panel's window for other threads: set once the window exists, cleared before the panel
    // object dies, so no thread but the GUI thread ever dereferences the panel.
    std::atomic<HWND> panelWindow{nullptr};
};

// The module-wide objects; valid between library load and unload.
CLumen70App& theApp();
CRVSharedObj& LinkLock();
support::EventLog& ModuleLog();
// Whether the objects exist (false before load and after unload).
bool ModuleObjectsExist();
// Library load step 1 and the unload's end.
void CreateModuleObjects();
void DestroyModuleObjects();
