// The host's side of the module, as an integrator's imaging software sees it: the module loaded by
// path with its exports looked up by name (no import library), the unit emulator's control line when
// the emulator's bus library sits beside the module, and refusal probes run in a child process so that
// a module that faults on them is reported instead of taking the kit down.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

// Every export a host may call, by its undecorated name.
inline const char* const kExportNames[] = {
    "OpenCommPort",           "StartDialog",          "GetInfosTir",
    "GetExpositionTime",      "ReadPanoData",         "ReadCephaloData",
    "ReArrangement",          "TraitementATM4Images", "GetTiming",
    "nCanCombineATM",         "bPanoResolution",      "bPanoRealResolution",
    "bCephaloRealResolution", "bHaveToMirror",        "bPanoPostProcess",
    "bCephaloPostProcess",    "GetInfoFileName",      "GetMainWindowHandle",
    "SetBrowseMskFnct",       "pRVGetVersion",        "RVFreeVersion"};

using NotifyFn = void (*)(int32_t);
using IntFn = int (*)();
using StartDialogFn = int (*)(uint32_t, uint32_t*, NotifyFn, unsigned char, const uint32_t*);
using RecordFn = void (*)(void*);
using ReArrangementFn = void (*)(unsigned char*, int, unsigned char*);
struct TmjImage { // the host's image descriptor (x64: pixels at byte 16)
    int32_t width, height, reserved1, reserved2;
    uint16_t* pixels;
};
using TraitementFn = void (*)(TmjImage*, unsigned char*);
using GetTimingFn = int (*)(int, int*);
using CombineFn = int (*)(int, int);
using ResolutionFn = bool (*)(double*);
using FlagFn = bool (*)();
using InfoFileFn = void (*)(char*);
using MainWindowFn = HWND (*)();
using BrowseFn = bool (*)(void*);
struct VersionEntry {
    char* name;
    char* version;
    char* date;
    VersionEntry* next;
};
using GetVersionFn = VersionEntry* (*)();
using VoidFn = void (*)();

class Module {
public:
    // Loaded as a host loads it: the libraries beside the module are found first.
    explicit Module(const std::string& path);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    bool Loaded() const { return m_module != nullptr; }
    DWORD LoadError() const { return m_loadError; }
    void* Find(const char* name) const;
    template <typename F> F Get(const char* name) const { return reinterpret_cast<F>(Find(name)); }

private:
    HMODULE m_module = nullptr;
    DWORD m_loadError = 0;
};

// The emulator's control line (EmuControl of its in-process bus library).
class Unit {
public:
    Unit();
    bool Present() const { return m_control != nullptr; }
    bool Send(const std::string& line) const;
    std::string StatusLine() const;
    // One key=value field of the status line; empty when absent.
    std::string Field(const std::string& key) const;
    bool WaitField(const std::string& key, const std::string& value, DWORD timeoutMs) const;

private:
    using ControlFn = int (*)(const char*, char*, int);
    ControlFn m_control = nullptr;
};

// Refusal probes: one call with a null or bad argument, in a child process of this program.
struct ProbeOutcome {
    bool ran = false;   // the probe returned normally
    std::string figure; // the child's one-line answer, or how it ended
};
// Child side: `lumen_conformance --probe NAME MODULE`. Prints one line; 0 when the call returned.
int RunProbe(const std::string& name, const std::string& modulePath);
const std::vector<std::string>& ProbeNames();
// The export a probe needs.
std::string ProbeExport(const std::string& name);
// Parent side.
ProbeOutcome SpawnProbe(const std::string& name, const std::string& modulePath, DWORD timeoutMs);

} // namespace kit
