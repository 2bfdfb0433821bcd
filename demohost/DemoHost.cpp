// The demo host: loads the acquisition module as an imaging application does, opens the link, runs
// the panel and prints what the module hands back.
//   demohost [--module PATH] [--mode 0|1] [--close-after MS] [--text "user text"]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using NotifyFn = void (*)(int32_t);
using OpenCommPortFn = int (*)();
using StartDialogFn = int (*)(uint32_t, uint32_t*, NotifyFn, unsigned char, const uint32_t*);
using GetInfosTirFn = void (*)(void*);
using GetInfoFileNameFn = void (*)(char*);
struct VersionEntry {
    char* name;
    char* version;
    char* date;
    VersionEntry* next;
};

constexpr DWORD kPanelThreadEndWaitMs = 10000;

HANDLE g_panelClosed = nullptr;

void OnModuleEvent(int32_t event) {
    std::printf("host notification: %d%s\n", event,
                event == 0   ? " (exposure cycle started: acquire now)"
                : event == 1 ? " (panel closed)"
                             : "");
    std::fflush(stdout);
    if (event == 3)
        ::SetEvent(g_panelClosed);
}

template <typename F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

std::string BesideExe(const char* file) {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    return p.substr(0, p.find_last_of("\\/") + 1) + file;
}

} // namespace

int main(int argc, char** argv) {
    std::string modulePath = BesideExe("Lumen70_Demo.dll");
    unsigned char mode = 1;
    long closeAfterMs = -1;
    std::string text = "Demo patient";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--module" && i + 1 < argc)
            modulePath = argv[++i];
        else if (a == "--mode" && i + 1 < argc)
            mode = static_cast<unsigned char>(std::atoi(argv[++i]));
        else if (a == "--close-after" && i + 1 < argc)
            closeAfterMs = std::atol(argv[++i]);
        else if (a == "--text" && i + 1 < argc)
            text = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: demohost [--module PATH] [--mode 0|1] [--close-after MS] [--text T]\n");
            return 2;
        }
    }

    HMODULE module = ::LoadLibraryA(modulePath.c_str());
    if (!module) {
        std::fprintf(stderr,
                     "cannot load %s (error %lu): the language library must sit beside it and the "
                     "screen must be at least 1024 x 768\n",
                     modulePath.c_str(), ::GetLastError());
        return 1;
    }
    std::printf("loaded %s\n", modulePath.c_str());
    if (auto versions = Export<VersionEntry* (*)()>(module, "pRVGetVersion")) {
        for (VersionEntry* e = versions(); e; e = e->next)
            std::printf("  %-12s %-10s %s\n", e->name, e->version, e->date);
        Export<void (*)()>(module, "RVFreeVersion")();
    }

    int open = Export<OpenCommPortFn>(module, "OpenCommPort")();
    std::printf("OpenCommPort: %d%s\n", open, open == 15 ? " (link open, unit identified)" : " (no link)");

    g_panelClosed = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uint32_t userText[64] = {};
    std::memcpy(userText, text.c_str(), text.size() < 255 ? text.size() : 255);
    uint32_t window = 0;
    const DWORD before = ::GetTickCount();
    int start = Export<StartDialogFn>(module, "StartDialog")(0, &window, &OnModuleEvent, mode, userText);
    std::printf("StartDialog: %d, panel window 0x%08x, after %lu ms\n", start, window,
                ::GetTickCount() - before);
    std::fflush(stdout);
    if (start != 15)
        return 1;
    // The panel's thread goes on briefly after notification 3 (it tears the panel down); a careful host
    // lets it end before unloading, though the module copes with an unload at any moment.
    HWND panel = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    HANDLE panelThread = ::OpenThread(SYNCHRONIZE, FALSE, ::GetWindowThreadProcessId(panel, nullptr));

    if (closeAfterMs >= 0) {
        if (::WaitForSingleObject(g_panelClosed, static_cast<DWORD>(closeAfterMs)) == WAIT_TIMEOUT) {
            std::printf("closing the panel (end of acquisition)\n");
            ::PostMessageA(reinterpret_cast<HWND>(static_cast<uintptr_t>(window)), 0x65B, 0, 0);
        }
    }
    ::WaitForSingleObject(g_panelClosed, INFINITE);

    unsigned char record[293] = {};
    Export<GetInfosTirFn>(module, "GetInfosTir")(record);
    char ini[MAX_PATH] = {};
    Export<GetInfoFileNameFn>(module, "GetInfoFileName")(ini);
    std::printf("shot record (%s): program code %u\n",
                mode == 1 ? "panoramic, 211 bytes" : "cephalometric, 293 bytes",
                record[0] | (record[1] << 8));
    std::printf("unit information file: %s\n", ini);
    if (panelThread) {
        if (::WaitForSingleObject(panelThread, kPanelThreadEndWaitMs) != WAIT_OBJECT_0)
            std::printf("the panel's thread has not ended after %lu ms; unloading anyway\n",
                        kPanelThreadEndWaitMs);
        ::CloseHandle(panelThread);
    }
    std::fflush(stdout);
    ::FreeLibrary(module);
    ::CloseHandle(g_panelClosed);
    return 0;
}
