// The five bus-library functions as a table, so the unit link is portable: the module fills it with
// Nxjbus.dll's functions, the tests with a recording fake or the emulator.
#pragma once

namespace unitlink {

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

} // namespace unitlink

// The namespace cannot be called "link": POSIX declares a global function of that name, which the
// native tree's standard headers bring in. Windows has no such function, so code written against the
// first name keeps compiling there.
#if defined(_WIN32)
namespace link = unitlink;
#endif
