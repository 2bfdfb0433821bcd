// The Win32 serial port behind the JBUS master: "\\.\COMn" at 8N1, read with COMMTIMEOUTS.
#pragma once

#include "nxjbus/JbusMaster.h"
#include "platform/Handle.h"

#include <memory>
#include <string>

namespace nxjbus {

class SerialPort final : public Backend {
public:
    // Opens and configures the device; on failure returns null and leaves the system's error in error.
    static std::unique_ptr<SerialPort> Open(const std::string& devicePath, uint32_t baud,
                                            unsigned long& error);

    bool Write(const uint8_t* data, size_t size) override;
    int Read(uint8_t* data, size_t size, uint32_t timeoutMs) override;
    void Flush() override;
    void SleepUs(uint32_t us) override;
    uint64_t NowUs() override;
    unsigned long LastSystemError() const override { return m_lastError; }

private:
    explicit SerialPort(platform::UniqueKernelHandle port);
    bool SetReadTimeout(uint32_t timeoutMs);

    platform::UniqueKernelHandle m_port;
    uint32_t m_readTimeoutMs = 0xFFFFFFFF; // what the port is set to now; changed only when it differs
    unsigned long m_lastError = 0;
    int64_t m_counterFrequency = 1;
};

} // namespace nxjbus
