// What the campaign's host drivers share: the live panel tests' harness, the host's own message to the
// panel, and the steps every driver takes the same way.
#pragma once

#include <cstdio>

// Each driver uses only part of what follows.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-variable"
#include "PanelHarness.h"

namespace {

// The host's end of the acquisition, which closes the panel.
constexpr UINT kMsgHostEndAcquisition = WM_USER + 0x25B;

// A copy of the module under its own name in its folder, loaded as a host does, its polls counted at
// its bus import; null (said why) when it cannot be.
std::unique_ptr<harness::Module> LoadModuleCopy(const std::string& name) {
    const std::string copy = EmulatorFolder() + name;
    std::unique_ptr<harness::Module> module;
    if (::CopyFileA((EmulatorFolder() + "Lumen70_Demo.dll").c_str(), copy.c_str(), FALSE))
        module = std::make_unique<harness::Module>(copy);
    if (module && module->Handle())
        g_realRead = reinterpret_cast<ReadWordsFn>(PatchImport(
            module->Handle(), "Nxjbus.dll", "JbusReadSeveralWords", reinterpret_cast<void*>(&CountingRead)));
    if (!module || !g_realRead.load()) {
        std::printf("cannot load the module as %s with the bus library beside it\n", copy.c_str());
        return nullptr;
    }
    return module;
}

// The in-process emulator's control line, from the emulator's bus library the module loaded.
ControlFn EmulatorControl() {
    ControlFn control = reinterpret_cast<ControlFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("Nxjbus.dll"), "EmuControl")));
    if (!control)
        std::printf("the emulator's bus library is not beside the module\n");
    return control;
}

std::string StatusLine(ControlFn control) {
    char reply[2048] = {};
    control("status", reply, sizeof reply);
    return reply;
}
// One field of the emulator's status line; "?" when it has none.
std::string Field(const std::string& status, const std::string& key) {
    const std::string line = " " + status;
    const size_t at = line.find(" " + key + "=");
    if (at == std::string::npos)
        return "?";
    const size_t from = at + key.size() + 2;
    return line.substr(from, line.find(' ', from) - from);
}

size_t Count(int32_t event) {
    const std::vector<int32_t> events = Notified();
    return static_cast<size_t>(std::count(events.begin(), events.end(), event));
}

double ThreadCpuMs(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!thread || !::GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return 0;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

// StartDialog's wall time (-1 when it was not called) and its own work: the processor time of the
// calling thread and of the panel's thread during the call (that thread is born in it).
struct StartTimes {
    double wallMs = -1, cpuMs = 0;
};

// A host opening the panel: OpenCommPort (the last panel's close closed the bus), then StartDialog.
// Empty with the panel up, else what failed.
std::string OpenPanel(const harness::Module& module, unsigned char mode, HWND& panel, StartTimes* times = nullptr) {
    ForgetNotifications();
    panel = nullptr;
    if (const int opened = module.Get<harness::OpenCommPortFn>("OpenCommPort")(); opened != 15)
        return "OpenCommPort gave " + std::to_string(opened);
    uint32_t slot = 0;
    const auto start = module.Get<harness::StartDialogFn>("StartDialog");
    const double cpuBefore = times ? ThreadCpuMs(::GetCurrentThread()) : 0;
    const double before = NowMs();
    const int started = start(0, &slot, &RecordNotify, mode, nullptr);
    if (times)
        times->wallMs = NowMs() - before;
    panel = reinterpret_cast<HWND>(static_cast<uintptr_t>(slot));
    if (started != 15 || !::IsWindow(panel))
        return "StartDialog gave " + std::to_string(started);
    if (times) {
        HANDLE gui =
            ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, ::GetWindowThreadProcessId(panel, nullptr));
        times->cpuMs = ThreadCpuMs(::GetCurrentThread()) - cpuBefore + ThreadCpuMs(gui);
        if (gui)
            ::CloseHandle(gui);
    }
    return "";
}

// The panel's thread, to see it end once the panel is closed.
HANDLE PanelThread(HWND panel) {
    return ::OpenThread(SYNCHRONIZE, FALSE, ::GetWindowThreadProcessId(panel, nullptr));
}
// Waits up to 10 s for the thread to end and lets the handle go; true when it ended (or was not known).
bool ThreadEnded(HANDLE thread) {
    if (!thread)
        return true;
    const bool ended = ::WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    ::CloseHandle(thread);
    return ended;
}

// The shown dialogs of this process, message boxes aside (the box watcher's).
std::vector<HWND> ShownDialogs() {
    std::vector<HWND> dialogs;
    ::EnumWindows(
        [](HWND wnd, LPARAM list) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(wnd, &process);
            char name[16] = {};
            ::GetClassNameA(wnd, name, sizeof name);
            if (process == ::GetCurrentProcessId() && std::strcmp(name, "#32770") == 0 && ::IsWindowVisible(wnd) &&
                !::GetDlgItem(wnd, 0xFFFF))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

// A path given on the command line, as Wine sees it.
std::string HostPath(const std::string& path) { return !path.empty() && path[0] == '/' ? winkit::WinePath(path) : path; }

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace
#pragma GCC diagnostic pop
