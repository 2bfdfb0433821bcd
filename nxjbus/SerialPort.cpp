// The Win32 serial port behind the JBUS master. Every failure keeps GetLastError() where it happens.
#include "nxjbus/SerialPort.h"

#include <windows.h>

namespace nxjbus {

namespace {

// A write that the driver cannot hand over within this time means the port is gone or blocked.
constexpr DWORD kWriteTimeoutConstantMs = 1000;
constexpr DWORD kWriteTimeoutPerByteMs = 2;
constexpr DWORD kQueueBytes = 4096;

} // namespace

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& devicePath, uint32_t baud,
                                             unsigned long& error) {
    platform::UniqueKernelHandle port(::CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                    nullptr, OPEN_EXISTING, 0, nullptr));
    if (!port) {
        error = ::GetLastError();
        return nullptr;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port.Get(), &dcb)) {
        error = ::GetLastError();
        return nullptr;
    }
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    // The unit's line has no handshake: any flow control would stall or eat frame bytes.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(port.Get(), &dcb)) {
        error = ::GetLastError();
        return nullptr;
    }
    ::SetupComm(port.Get(), kQueueBytes, kQueueBytes); // only a size hint; drivers may ignore it
    ::PurgeComm(port.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);

    std::unique_ptr<SerialPort> result(new SerialPort(std::move(port)));
    if (!result->SetReadTimeout(0)) {
        error = result->m_lastError;
        return nullptr;
    }
    error = 0;
    return result;
}

SerialPort::SerialPort(platform::UniqueKernelHandle port) : m_port(std::move(port)) {
    LARGE_INTEGER frequency;
    if (::QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0)
        m_counterFrequency = frequency.QuadPart;
}

bool SerialPort::SetReadTimeout(uint32_t timeoutMs) {
    if (timeoutMs == m_readTimeoutMs)
        return true;
    // Interval and multiplier off: ReadFile returns when all bytes asked for are in, or when the total
    // time is over, with whatever has arrived. A zero wait (the answer's deadline is reached) takes only
    // what has arrived already: an interval of MAXDWORD with no total returns at once.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = timeoutMs == 0 ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = timeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = kWriteTimeoutPerByteMs;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutConstantMs;
    if (!::SetCommTimeouts(m_port.Get(), &timeouts)) {
        m_lastError = ::GetLastError();
        m_readTimeoutMs = 0xFFFFFFFF;
        return false;
    }
    m_readTimeoutMs = timeoutMs;
    return true;
}

bool SerialPort::Write(const uint8_t* data, size_t size) {
    DWORD written = 0;
    if (!::WriteFile(m_port.Get(), data, static_cast<DWORD>(size), &written, nullptr)) {
        m_lastError = ::GetLastError();
        return false;
    }
    if (written != size) {
        m_lastError = ERROR_WRITE_FAULT; // the driver timed out: the frame is incomplete on the line
        return false;
    }
    return true;
}

int SerialPort::Read(uint8_t* data, size_t size, uint32_t timeoutMs) {
    if (!SetReadTimeout(timeoutMs))
        return -1;
    DWORD got = 0;
    if (!::ReadFile(m_port.Get(), data, static_cast<DWORD>(size), &got, nullptr)) {
        m_lastError = ::GetLastError();
        return -1;
    }
    return static_cast<int>(got);
}

void SerialPort::Flush() {
    ::PurgeComm(m_port.Get(), PURGE_RXCLEAR);
}

void SerialPort::SleepUs(uint32_t us) {
    // Sleep() has a coarse tick on many systems; sleep the whole milliseconds but the last one, then
    // yield until the due time so the silent interval does not grow to a full tick.
    uint64_t due = NowUs() + us;
    if (us > 2000)
        ::Sleep((us - 1000) / 1000);
    while (NowUs() < due)
        ::SwitchToThread();
}

uint64_t SerialPort::NowUs() {
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<uint64_t>(counter.QuadPart / m_counterFrequency * 1000000 +
                                 counter.QuadPart % m_counterFrequency * 1000000 / m_counterFrequency);
}

} // namespace nxjbus
