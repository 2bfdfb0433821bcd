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

} // namespace harness
