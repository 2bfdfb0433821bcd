// The five bus-library functions as a table, so the unit link is portable: the module fills it with
// Nxjbus.dll's functions, the tests with a recording fake or the emulator.
#pragma once

namespace link {

struct BusApi {
    int (*open)(const char* port, const char* baud) = nullptr;
    void (*close)(int* handle) = nullptr;
    int (*readSeveralWords)(int handle, unsigned char slave, unsigned short wordAddress, unsigned short count,
                            unsigned short* buffer) = nullptr;
    int (*writeOneWord)(int handle, unsigned char slave, unsigned short wordAddress,
                        unsigned short value) = nullptr;
    int (*writeSeveralWords)(int handle, unsigned char slave, unsigned short wordAddress, unsigned short count,
                             const unsigned short* buffer) = nullptr;
};

} // namespace link
