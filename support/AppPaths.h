// The application-data folder and the module's three files in it.
#pragma once

#include <string>

namespace support {

inline constexpr char kIniFileName[] = "ConfigHalvexPan.ini";
inline constexpr char kRestoreFileName[] = "restoreHalvexPan.dat";

// "AppDataPath" (machine key HALVEX) + "\HalvexPan\", else the common application-data folder +
// "\RV\HalvexPan\"; folders are created on the way. Empty when no folder can be determined.
std::string GetAppDataFolder();
std::string GetLogPath();
std::string GetIniPath();
std::string GetRestorePath();

} // namespace support
