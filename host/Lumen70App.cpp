// The module object's load and unload sequences and the module-wide objects.
#include "host/Lumen70App.h"

#include "host/LinkAccess.h"
#include "platform/Module.h"
#include "support/AppPaths.h"
#include "support/EventLog.h"
#include "support/RVSharedObj.h"

#include <commctrl.h>

#include <ctime>

namespace {

constexpr int kMinimumScreenWidth = 1024;
constexpr int kMinimumScreenHeight = 768;
constexpr UINT kTextScreenTooSmall = 4187;
constexpr char kLanguageLibraryName[] = "NxLang.dll";
constexpr char kLogTag[] = "LUMEN70";

// Created by the library load, destroyed by the unload; the host may unload while the GUI thread
// still holds a module reference, so these only go away with the last reference.
CRVSharedObj* g_linkLock = nullptr;
CLumen70App* g_app = nullptr;
CRVSharedObj* g_logLock = nullptr;
support::EventLog* g_log = nullptr;

support::LogTime LocalNow() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return support::LogTime{t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute};
}

// The language library beside the module first (hosts keep the two together), then the usual search.
HMODULE LoadLanguageLibrary(HINSTANCE module) {
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(module, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::string beside(path, n);
        auto slash = beside.find_last_of("\\/");
        if (slash != std::string::npos) {
            beside = beside.substr(0, slash + 1) + kLanguageLibraryName;
            if (HMODULE m = ::LoadLibraryExA(beside.c_str(), nullptr, 0))
                return m;
        }
    }
    return ::LoadLibraryA(kLanguageLibraryName);
}

HCURSOR OwnedCopyOfSystemCursor(LPCSTR id) {
    HCURSOR shared = ::LoadCursorA(nullptr, id);
    if (!shared)
        shared = ::LoadCursorA(nullptr, IDC_ARROW);
    return shared ? static_cast<HCURSOR>(::CopyIcon(shared)) : nullptr;
}

} // namespace

CLumen70App& theApp() { return *g_app; }
CRVSharedObj& LinkLock() { return *g_linkLock; }
support::EventLog& ModuleLog() { return *g_log; }
bool ModuleObjectsExist() { return g_app != nullptr; }

void CreateModuleObjects() {
    g_linkLock = new CRVSharedObj(nullptr);
    g_app = new CLumen70App();
    g_logLock = new CRVSharedObj(support::kLogMutexName);
    g_log = new support::EventLog(*g_logLock, [] { return support::GetLogPath(); }, LocalNow);
}

void DestroyModuleObjects() {
    delete g_log;
    g_log = nullptr;
    delete g_logLock;
    g_logLock = nullptr;
    delete g_app;
    g_app = nullptr;
    delete g_linkLock;
    g_linkLock = nullptr;
}

bool CLumen70App::InitInstance(HINSTANCE module) {
    moduleInstance = module;
    platform::SetResourceModule(module);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    languageLibrary = LoadLanguageLibrary(module);
    if (!languageLibrary)
        return false;
    platform::SetLanguageModule(languageLibrary);

    if (::GetSystemMetrics(SM_CXSCREEN) < kMinimumScreenWidth ||
        ::GetSystemMetrics(SM_CYSCREEN) < kMinimumScreenHeight) {
        platform::MessageBoxId(nullptr, kTextScreenTooSmall, MB_OK | MB_ICONSTOP);
        platform::SetLanguageModule(nullptr);
        ::FreeLibrary(languageLibrary);
        languageLibrary = nullptr;
        return false;
    }

    panel = nullptr;
    host::DestroyLink();
    firstError.Clear();
    iniPath = support::GetIniPath();
    restorePath = support::GetRestorePath();

    handCursor.Reset(OwnedCopyOfSystemCursor(IDC_HAND));
    waitCursor.Reset(OwnedCopyOfSystemCursor(IDC_WAIT));
    panoRecord = std::make_unique<uint8_t[]>(kPanoRecordSize);
    cephRecord = std::make_unique<uint8_t[]>(kCephRecordSize);

    ModuleLog().SetLogTag(kLogTag);
    return true;
}

void CLumen70App::ExitInstance() {
    panoRecord.reset();
    cephRecord.reset();
    host::DestroyLink();
    unitBusy = 0;
    handCursor.Reset();
    waitCursor.Reset();
    if (languageLibrary) {
        platform::SetLanguageModule(nullptr);
        ::FreeLibrary(languageLibrary);
        languageLibrary = nullptr;
    }
}
