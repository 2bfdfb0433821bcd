// Loads Lumen70_Demo.dll as a host does and gives the tests its exports, the event log and scratch
// registry values.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace harness {

using NotifyFn = void (*)(int32_t);
using OpenCommPortFn = int (*)();
using StartDialogFn = int (*)(uint32_t, uint32_t*, NotifyFn, unsigned char, const uint32_t*);

// A folder of the build tree, as a Windows path under Wine.
std::string BinDir();
std::string ModulePath();

class Module {
public:
    explicit Module(const std::string& path = ModulePath());
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    HMODULE Handle() const { return m_module; }
    template <typename F> F Get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(m_module, name)));
    }
    void Unload();

private:
    HMODULE m_module = nullptr;
};

// A file of the module's folder in the common application data (the log, the restore file).
std::string CommonFile(const char* name);
// The event log there.
std::string LogPath();
std::vector<std::string> ReadLogLines();
void DeleteLog();

// HKCU\Software\HALVEX\PANO "StartPGM"; removed by ClearStartPgm.
void SetStartPgm(uint32_t value);
void ClearStartPgm();
// StartPGM for a scope, removed however the scope ends (a failed assertion included): a refusing value
// left behind would refuse the panels of the tests after it in the same prefix.
class ScopedStartPgm {
public:
    explicit ScopedStartPgm(uint32_t value) { SetStartPgm(value); }
    ~ScopedStartPgm() { ClearStartPgm(); }
    ScopedStartPgm(const ScopedStartPgm&) = delete;
    ScopedStartPgm& operator=(const ScopedStartPgm&) = delete;
};

} // namespace harness
