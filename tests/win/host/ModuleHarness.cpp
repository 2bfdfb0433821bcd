// Module loading, log and registry helpers for the module's Windows tests.
#include "ModuleHarness.h"

#include <shlobj.h>

#include <fstream>
#include <sstream>

namespace harness {

std::string BinDir() {
    std::string path = "Z:" LUMEN_BIN_DIR;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path + "\\";
}

std::string ModulePath() { return BinDir() + "Lumen70_Demo.dll"; }

// The module finds Nxjbus.dll and NxLang.dll in its own folder, as in a host installation.
Module::Module(const std::string& path) {
    m_module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
Module::~Module() { Unload(); }
void Module::Unload() {
    if (m_module)
        ::FreeLibrary(m_module);
    m_module = nullptr;
}

std::string CommonFile(const char* name) {
    char common[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::string(common) + "\\RV\\HalvexPan\\" + name;
}

std::string LogPath() { return CommonFile("HalvexPan.csv"); }

std::vector<std::string> ReadLogLines() {
    std::ifstream in(LogPath(), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

void DeleteLog() { ::DeleteFileA(LogPath().c_str()); }

void SetStartPgm(uint32_t value) {
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    ::RegSetValueExA(key, "StartPGM", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    ::RegCloseKey(key);
}

void ClearStartPgm() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO", 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueA(key, "StartPGM");
        ::RegCloseKey(key);
    }
}

namespace {
struct BoxSearch {
    std::string what;
    HWND found = nullptr;
    std::string text;
};
BOOL CALLBACK FindBox(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    char cls[64] = {};
    ::GetClassNameA(wnd, cls, sizeof cls);
    if (pid != ::GetCurrentProcessId() || std::string(cls) != "#32770")
        return TRUE;
    // The message text is the box's static with text (its identifier differs between systems).
    std::string text;
    for (HWND child = ::GetWindow(wnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char childClass[32] = {}, childText[1024] = {};
        ::GetClassNameA(child, childClass, sizeof childClass);
        ::GetWindowTextA(child, childText, sizeof childText);
        if (lstrcmpiA(childClass, "Static") == 0 && childText[0])
            text = childText;
    }
    // A box still being built has no text yet: a click then could be lost.
    if (text.empty() || text.find(search->what) == std::string::npos)
        return TRUE;
    search->found = wnd;
    search->text = text;
    return FALSE;
}
} // namespace

bool DismissMessageBox(const std::string& what, DWORD timeoutMs, std::string* text) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < timeoutMs) {
        BoxSearch search{what, nullptr, {}};
        ::EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            if (text)
                *text = search.text;
            ::PostMessageA(search.found, WM_COMMAND, IDOK, 0);
            return true;
        }
        ::Sleep(20);
    }
    return false;
}

} // namespace harness
