// The open ports by handle, and JbusOpen's argument checks.
#include "nxjbus/PortTable.h"

#include <cctype>
#include <cstring>
#include <limits>

namespace nxjbus {

std::optional<uint32_t> ParseBaud(const char* text) noexcept {
    if (text == nullptr)
        return std::nullopt;
    static constexpr struct {
        const char* text;
        uint32_t baud;
    } kRates[] = {{"0", 19200},     {"9600", 9600},   {"19200", 19200},
                  {"38400", 38400}, {"57600", 57600}, {"115200", 115200}};
    for (const auto& rate : kRates)
        if (std::strcmp(text, rate.text) == 0)
            return rate.baud;
    return std::nullopt;
}

std::optional<std::string> ParsePortName(const char* text) {
    if (text == nullptr)
        return std::nullopt;
    if (std::strncmp(text, "\\\\.\\", 4) == 0)
        text += 4;
    auto upper = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
    if (std::strlen(text) < 4 || upper(text[0]) != 'C' || upper(text[1]) != 'O' || upper(text[2]) != 'M')
        return std::nullopt;
    const char* digits = text + 3;
    size_t length = std::strlen(digits);
    if (length == 0 || length > 3 || digits[0] == '0')
        return std::nullopt;
    int number = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(digits[i])))
            return std::nullopt;
        number = number * 10 + (digits[i] - '0');
    }
    if (number > 255)
        return std::nullopt;
    return "\\\\.\\COM" + std::to_string(number);
}

int PortTable::Add(std::shared_ptr<Master> port) {
    std::lock_guard<std::mutex> hold(m_mutex);
    if (m_lastHandle == std::numeric_limits<int>::max())
        return -1;
    int handle = ++m_lastHandle;
    m_ports.emplace(handle, std::move(port));
    return handle;
}

std::shared_ptr<Master> PortTable::Find(int handle) const {
    std::lock_guard<std::mutex> hold(m_mutex);
    auto it = m_ports.find(handle);
    return it == m_ports.end() ? nullptr : it->second;
}

bool PortTable::Remove(int handle) {
    std::shared_ptr<Master> port;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        auto it = m_ports.find(handle);
        if (it == m_ports.end())
            return false;
        port = std::move(it->second);
        m_ports.erase(it);
    }
    return true; // the port closes here, outside the table's lock, unless a request still runs on it
}

size_t PortTable::Size() const {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_ports.size();
}

} // namespace nxjbus
