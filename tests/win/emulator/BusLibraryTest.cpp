// The emulator's Nxjbus.dll loaded by LoadLibrary: the five bus functions and the control entry points.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
    char reply[512];
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
    ASSERT_EQ(Control("fault noanswer 1"), 0);
    EXPECT_EQ(writeOne(handle, 1, 0x7040, 0x0001), 12);
    EXPECT_EQ(read(handle, 1, 0x7012, 1, &word), 0);
    EXPECT_EQ(word, 70) << "an unanswered command was never received";
    ASSERT_EQ(Control("fault badcrc 1"), 0);
    EXPECT_EQ(writeOne(handle, 1, 0x7040, 0x0001), 13);
    EXPECT_EQ(read(handle, 1, 0x7012, 1, &word), 0);
    EXPECT_EQ(word, 71) << "a corrupted answer still means the unit acted";
    EXPECT_EQ(read(handle, 2, 0x7012, 1, &word), 12); // another slave's request
    EXPECT_EQ(read(handle, 1, 0x703C, 1, &word), 2);

    ASSERT_EQ(Control("version 1.02"), 0);
    EXPECT_EQ(Identification(handle), "1.02");
    const unsigned short text[20] = {0x4F48, 0x5453}; // "HOST"
    EXPECT_EQ(writeMany(handle, 1, 0x6818, 20, text), 0);
    close(&handle);
}

} // namespace
