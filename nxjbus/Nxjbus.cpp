// Nxjbus.dll: the exported bus functions over the handle table, the JBUS master and the serial port.
// Nothing may unwind into the caller, so every export catches at its boundary.
#include "nxjbus/Nxjbus.h"

#include "nxjbus/PortTable.h"
#include "nxjbus/SerialPort.h"

#include <atomic>
#include <cstdlib>

namespace {

nxjbus::PortTable& Ports() {
    static nxjbus::PortTable table;
    return table;
}

std::atomic<unsigned long> g_lastOpenError{0};

// Argument errors are not system errors; they still must not read as success.
constexpr unsigned long kBadArgumentError = 87; // ERROR_INVALID_PARAMETER

} // namespace

extern "C" {

NXJBUS_API int JbusOpen(const char* port, const char* baud) {
    try {
        auto path = nxjbus::ParsePortName(port);
        auto rate = nxjbus::ParseBaud(baud);
        if (!path || !rate) {
            g_lastOpenError = kBadArgumentError;
            return -1;
        }
        unsigned long error = 0;
        auto serial = nxjbus::SerialPort::Open(*path, *rate, error);
        auto trace = nxjbus::FrameTrace::Open(std::getenv("NXJBUS_TRACE"), path->substr(4));
        if (!serial) {
            g_lastOpenError = error;
            if (trace)
                trace->Note(("open failed, system error " + std::to_string(error)).c_str(), 0);
            return -1;
        }
        if (trace)
            trace->Note(("opened at " + std::to_string(*rate) + " baud").c_str(), serial->NowUs());
        int handle =
            Ports().Add(std::make_shared<nxjbus::Master>(std::move(serial), *rate, std::move(trace)));
        g_lastOpenError = 0;
        return handle;
    } catch (...) {
        g_lastOpenError = 14; // ERROR_OUTOFMEMORY is the only thing that can throw here
        return -1;
    }
}

NXJBUS_API void JbusClose(int* handle) {
    if (handle == nullptr)
        return;
    try {
        Ports().Remove(*handle);
    } catch (...) {
    }
    *handle = -1;
}

NXJBUS_API int JbusReadSeveralWords(int handle, unsigned char slave, unsigned short wordAddress,
                                    unsigned short count, unsigned short* buffer) {
    try {
        auto port = Ports().Find(handle);
        if (!port)
            return JBUS_ERROR_PORT;
        return port->ReadSeveralWords(slave, wordAddress, count, buffer);
    } catch (...) {
        return JBUS_ERROR_PORT;
    }
}

NXJBUS_API int JbusWriteOneWord(int handle, unsigned char slave, unsigned short wordAddress,
                                unsigned short value) {
    try {
        auto port = Ports().Find(handle);
        if (!port)
            return JBUS_ERROR_PORT;
        return port->WriteOneWord(slave, wordAddress, value);
    } catch (...) {
        return JBUS_ERROR_PORT;
    }
}

NXJBUS_API int JbusWriteSeveralWords(int handle, unsigned char slave, unsigned short wordAddress,
                                     unsigned short count, const unsigned short* buffer) {
    try {
        auto port = Ports().Find(handle);
        if (!port)
            return JBUS_ERROR_PORT;
        return port->WriteSeveralWords(slave, wordAddress, count, buffer);
    } catch (...) {
        return JBUS_ERROR_PORT;
    }
}

NXJBUS_API const char* JbusResultText(int result) {
    return nxjbus::ResultText(result);
}

NXJBUS_API unsigned long JbusLastSystemError(int handle) {
    if (handle == -1)
        return g_lastOpenError;
    try {
        auto port = Ports().Find(handle);
        return port ? port->LastSystemError() : 0;
    } catch (...) {
        return 0;
    }
}

} // extern "C"
