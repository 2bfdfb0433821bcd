// The emulator's Nxjbus.dll loaded by LoadLibrary: the five bus functions and the control entry points.
#include <windows.h>

#include "emulator/History.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::wstring BusLibraryPath() {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dir(exe, n);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    const std::string relative = EMU_BUS_RELATIVE_DIR;
    return dir + std::wstring(relative.begin(), relative.end()) + L"\\Nxjbus.dll";
}

class BusLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        module = LoadLibraryW(BusLibraryPath().c_str());
        ASSERT_NE(module, nullptr) << "error " << GetLastError();
        Get(open, "JbusOpen");
        Get(close, "JbusClose");
        Get(read, "JbusReadSeveralWords");
        Get(writeOne, "JbusWriteOneWord");
        Get(writeMany, "JbusWriteSeveralWords");
        Get(control, "EmuControl");
        Get(advance, "EmuAdvanceMs");
        ASSERT_TRUE(open && close && read && writeOne && writeMany && control && advance);
        // Each test starts from a freshly powered unit.
        ASSERT_EQ(Control("version 2.10"), 0);
    }
    void TearDown() override {
        if (module)
            FreeLibrary(module);
    }
    template <typename F> void Get(F& function, const char* name) {
        function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    int Control(const char* line) {
        std::memset(reply, 0x5A, sizeof reply);
        return control(line, reply, sizeof reply);
    }
    std::string Identification(int handle) {
        unsigned short id[15];
        EXPECT_EQ(read(handle, 1, 0x7000, 15, id), 0);
        return std::string(reinterpret_cast<const char*>(id) + 12);
    }

    HMODULE module = nullptr;
    int(__cdecl* open)(const char*, const char*) = nullptr;
    void(__cdecl* close)(int*) = nullptr;
    int(__cdecl* read)(int, unsigned char, unsigned short, unsigned short, unsigned short*) = nullptr;
    int(__cdecl* writeOne)(int, unsigned char, unsigned short, unsigned short) = nullptr;
    int(__cdecl* writeMany)(int, unsigned char, unsigned short, unsigned short,
                            const unsigned short*) = nullptr;
    int(__cdecl* control)(const char*, char*, int) = nullptr;
    void(__cdecl* advance)(unsigned) = nullptr;
    char reply[16384];
};

TEST_F(BusLibraryTest, ReadsIdentificationAndStateWord) {
    int handle = open("COM1", "0");
    ASSERT_GE(handle, 0);
    EXPECT_EQ(Identification(handle), "2.10");
    unsigned short state = 0xDEAD;
    ASSERT_EQ(writeOne(handle, 1, 0x7040, 0x0085), 0);
    ASSERT_EQ(read(handle, 1, 0x700F, 1, &state), 0);
    EXPECT_EQ(state, 0x0300); // panel active: ready, voice permitted

    ASSERT_EQ(Control("expose"), 0);
    advance(1500);
    ASSERT_EQ(read(handle, 1, 0x700F, 1, &state), 0);
    EXPECT_EQ(state & 0x7C, 0x48); // cycle state 2 with emission
    close(&handle);
    EXPECT_EQ(handle, -1);
    EXPECT_EQ(read(handle, 1, 0x700F, 1, &state), 14);
}

TEST_F(BusLibraryTest, PortNamesAndMissingPort) {
    int handle = open("\\\\.\\COM9", "115200");
    EXPECT_GE(handle, 0);
    close(&handle);
    for (const auto& [port, baud] : {std::pair{"COM10", "0"}, {"COM", "0"}, {nullptr, "0"}, {"COM2", "1234"}})
        EXPECT_EQ(open(port, baud), -1) << (port ? port : "null") << " " << baud;
    close(nullptr);
    ASSERT_EQ(Control("port missing"), 0);
    EXPECT_EQ(open("COM1", "0"), -1);
}

TEST_F(BusLibraryTest, ControlLinesAndFaults) {
    ASSERT_EQ(Control("status"), 0);
    EXPECT_NE(std::string(reply).find("protocol=2"), std::string::npos) << reply;
    EXPECT_NE(Control("no such command"), 0);
    EXPECT_EQ(std::string(reply).rfind("error:", 0), 0u);
    EXPECT_EQ(control("status", reply, 8), 0);
    EXPECT_EQ(std::strlen(reply), 7u); // cut to the caller's buffer
    EXPECT_NE(control(nullptr, nullptr, 0), 0);

    int handle = open("COM1", "19200");
    unsigned short word = 0;
    ASSERT_EQ(Control("fault exception 6 1"), 0);
    EXPECT_EQ(read(handle, 1, 0x700F, 1, &word), 6);
    EXPECT_EQ(read(handle, 1, 0x700F, 1, &word), 0);
    // One retry after silence or a damaged answer, as over a real line: the unit sees both requests, and
    // acts on every one it could decode (kV one step up each time).
    const std::tuple<const char*, int, unsigned short> faults[] = {{"fault noanswer 2", 12, 70},
                                                                   {"fault noanswer 1", 0, 71},
                                                                   {"fault badcrc 1", 0, 73},
                                                                   {"fault badcrc 2", 13, 75}};
    for (const auto& [line, result, kv] : faults) {
        ASSERT_EQ(Control(line), 0);
        EXPECT_EQ(writeOne(handle, 1, 0x7040, 0x0001), result) << line;
        EXPECT_EQ(read(handle, 1, 0x7012, 1, &word), 0);
        EXPECT_EQ(word, kv) << line;
    }
    ASSERT_EQ(Control("history requests 3"), 0);
    std::vector<emu::RequestRecord> requests;
    ASSERT_TRUE(emu::history::ParseRequests(reply, requests)) << reply;
    ASSERT_EQ(requests.size(), 3u);
    for (size_t i = 0; i < 2; ++i) { // both attempts of the last command, then the read
        EXPECT_EQ(requests[i].function, 6u);
        EXPECT_EQ(requests[i].address, 0x7040);
        EXPECT_EQ(requests[i].fault, "badcrc");
    }
    EXPECT_EQ(read(handle, 2, 0x7012, 1, &word), 12); // another slave's request
    EXPECT_EQ(read(handle, 1, 0x703C, 1, &word), 2);

    ASSERT_EQ(Control("version 1.02"), 0);
    EXPECT_EQ(Identification(handle), "1.02");
    const unsigned short text[20] = {0x4F48, 0x5453}; // "HOST"
    EXPECT_EQ(writeMany(handle, 1, 0x6818, 20, text), 0);
    close(&handle);
}

TEST_F(BusLibraryTest, RequestsTheRealStackNeverSendsAreBadFrames) {
    int handle = open("COM1", "0");
    unsigned short words[130] = {};
    EXPECT_EQ(read(handle, 1, 0x7000, 1, nullptr), 13);
    EXPECT_EQ(read(handle, 1, 0x7000, 0, words), 13);
    EXPECT_EQ(read(handle, 1, 0x7000, 126, words), 13);
    EXPECT_EQ(writeMany(handle, 1, 0x7041, 1, nullptr), 13);
    EXPECT_EQ(writeMany(handle, 1, 0x7041, 0, words), 13);
    EXPECT_EQ(writeMany(handle, 1, 0x7041, 124, words), 13);
    ASSERT_EQ(Control("history requests"), 0);
    EXPECT_STREQ(reply, "n=0") << "nothing reached the unit";
    close(&handle);
}

TEST_F(BusLibraryTest, TransferFailureMidSessionAndCommandHistory) {
    int handle = open("COM1", "0");
    ASSERT_GE(handle, 0);
    unsigned short word = 0;
    ASSERT_EQ(writeOne(handle, 1, 0x7040, 0x0086), 0);
    ASSERT_EQ(Control("port fail"), 0);
    EXPECT_EQ(read(handle, 1, 0x700F, 1, &word), 14);
    EXPECT_EQ(writeOne(handle, 1, 0x7040, 0x0086), 14);
    ASSERT_EQ(Control("port ok"), 0);
    EXPECT_EQ(read(handle, 1, 0x700F, 1, &word), 0) << "the same handle works again";

    ASSERT_EQ(Control("history commands"), 0);
    std::vector<emu::CommandRecord> commands;
    ASSERT_TRUE(emu::history::ParseCommands(reply, commands)) << reply;
    EXPECT_EQ(emu::history::CountCommand(commands, 0x0086), 1u) << "a failed transfer never reaches the unit";
    close(&handle);
}

TEST_F(BusLibraryTest, CarriesAVersionResourceLikeTheRealLibrary) {
    const std::wstring path = BusLibraryPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    for (const auto& [key, expected] :
         {std::pair{L"OriginalFilename", L"Nxjbus.dll"}, {L"InternalName", L"Nxjbus"}}) {
        wchar_t* value = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
        ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
        EXPECT_EQ(std::wstring(value), expected);
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
}

} // namespace
