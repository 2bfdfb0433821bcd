// The open ports of the bus library, by handle, and the checks of JbusOpen's text arguments.
#pragma once

#include "nxjbus/JbusMaster.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace nxjbus {

// "9600", "19200", "38400", "57600" or "115200"; "0" stands for 19200. Anything else is refused.
std::optional<uint32_t> ParseBaud(const char* text) noexcept;

// "COMn" or "\\.\COMn" (n from 1 to 255, any letter case) gives the device path "\\.\COMn".
std::optional<std::string> ParsePortName(const char* text);

// Handles are never reused while the library is loaded, so a stale handle kept by a caller after a
// close can never reach a port opened later.
class PortTable {
public:
    int Add(std::shared_ptr<Master> port);
    // The port stays alive while a caller still uses it, even if another thread closes the handle.
    std::shared_ptr<Master> Find(int handle) const;
    // Returns false when the handle was not open.
    bool Remove(int handle);
    size_t Size() const;

private:
    mutable std::mutex m_mutex;
    std::map<int, std::shared_ptr<Master>> m_ports;
    int m_lastHandle = 0;
};

} // namespace nxjbus
