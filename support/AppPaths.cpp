// Folder lookup and creation for the module's files.
#include "support/AppPaths.h"

#include "support/EventLog.h"
#include "support/Settings.h"
#include "support/WinRegistry.h"

#include <windows.h>
#include <shlobj.h>

namespace support {
namespace {
std::string WithoutTrailingSeparator(std::string path) {
    while (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}
std::string InFolder(const char* fileName) {
    std::string folder = GetAppDataFolder();
    return folder.empty() ? std::string() : folder + fileName;
}
} // namespace

std::string GetAppDataFolder() {
    auto key = SystemRegistry().Open(RegistryRoot::LocalMachine, "Software\\Classes\\HALVEX", false);
    if (key) {
        auto value = key->Query("AppDataPath");
        if (value && value->type == RegistryValue::Type::Text && !value->text.empty()) {
            std::string base = WithoutTrailingSeparator(value->text);
            ::CreateDirectoryA(base.c_str(), nullptr);
            std::string folder = base + "\\HalvexPan\\";
            ::CreateDirectoryA(folder.c_str(), nullptr);
            return folder;
        }
    }
    char common[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common)))
        return {};
    std::string folder = WithoutTrailingSeparator(common) + "\\RV\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    folder += "HalvexPan\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::string GetLogPath() { return InFolder(kLogFileName); }
std::string GetIniPath() { return InFolder(kIniFileName); }
std::string GetRestorePath() { return InFolder(kRestoreFileName); }

} // namespace support
