// Lumen70_Demo.dll as a host sees it, where the conformance kit does not look: a panel that does not
// come up in time, the end messages without a notification function, two processes logging at once,
// and the load refusals and data path.
#include "ModuleHarness.h"
#include "platform/BoxWatcher.h"
#include "tests/win/WineTestKit.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <regex>
#include <thread>

namespace {

using harness::Module;

std::atomic<int> g_eventCount{0};
void RecordNotify(int32_t) { ++g_eventCount; }

using winkit::WaitFor;

std::string WithoutDate(const std::string& line) {
    return std::regex_replace(line, std::regex(R"(\d{2}/\d{2}/\d{4} \d{2}h\d{2}min)"), "DATE");
}

HWND PanelOf(uint32_t slot) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(slot)); }

std::vector<DWORD> ThreadsOfProcess() {
    std::vector<DWORD> ids;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    for (BOOL ok = ::Thread32First(snap, &te); ok; ok = ::Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == ::GetCurrentProcessId())
            ids.push_back(te.th32ThreadID);
    ::CloseHandle(snap);
    return ids;
}

// The GUI thread is held before its panel comes up: both waits run out, StartDialog answers 5 and
// logs it, and the panel that comes up late still closes cleanly.
TEST(ModuleStart, PanelThatDoesNotComeUpInTimeGives5AndItsLogLine) {
    harness::ClearStartPgm();
    harness::DeleteLog();
    Module module;
    auto startDialog = module.Get<harness::StartDialogFn>("StartDialog");
    const std::vector<DWORD> before = ThreadsOfProcess();
    std::atomic<int> result{-1};
    std::atomic<DWORD> hostId{0};
    std::thread host([&] {
        hostId = ::GetCurrentThreadId();
        uint32_t slot = 0;
        result = startDialog(0, &slot, &RecordNotify, 1, nullptr);
    });
    while (hostId == 0)
        ::Sleep(0);
    HANDLE gui = nullptr;
    for (const DWORD start = ::GetTickCount(); !gui && ::GetTickCount() - start < 5000;)
        for (DWORD id : ThreadsOfProcess())
            if (id != hostId && std::find(before.begin(), before.end(), id) == before.end()) {
                if ((gui = ::OpenThread(THREAD_SUSPEND_RESUME, FALSE, id)) != nullptr)
                    ::SuspendThread(gui);
                break;
            }
    ASSERT_NE(gui, nullptr);
    host.join();
    ::ResumeThread(gui);
    ::CloseHandle(gui);
    EXPECT_EQ(result.load(), 5);
    const auto lines = harness::ReadLogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(WithoutDate(lines.front()), "1:[LUMEN70];Error n\xB0" "405;DATE;StartDialog:1133\r");

    HWND panel = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (panel = module.Get<HWND (*)()>("GetMainWindowHandle")()) != nullptr; }));
    ::PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitFor([] { return g_eventCount.load() == 2; }, 25000));
}

// The host's end message (0x65B) and a page's Escape (0x65F) close a panel started without a
// notification function; cephalometric work lets the sensor finish for 5 s first.
TEST(ModuleStart, EndMessagesCloseAPanelWithoutANotifyFunction) {
    harness::ClearStartPgm();
    Module module;
    auto startDialog = module.Get<harness::StartDialogFn>("StartDialog");
    for (UINT message : {0x65Bu, 0x65Fu}) {
        uint32_t slot = 0;
        ASSERT_EQ(startDialog(0, &slot, nullptr, 0, nullptr), 15);
        ::PostMessageA(PanelOf(slot), message, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return !::IsWindow(PanelOf(slot)); })) << std::hex << message;
    }
}

// Two processes write 200 error entries each at once; every line stays whole.
TEST(ModuleLog, TwoProcessesWritingAtOnceLeaveWholeLines) {
    harness::DeleteLog();
    const harness::ScopedStartPgm refusing(0x01000000);
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::vector<PROCESS_INFORMATION> children(2);
    for (auto& pi : children) {
        std::string command = std::string("\"") + self + "\" --log-writer";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        const BOOL created =
            ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        const DWORD error = ::GetLastError();
        ASSERT_TRUE(created) << "error " << error;
    }
    for (auto& pi : children) {
        EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 120000), WAIT_OBJECT_0);
        DWORD code = 1;
        ::GetExitCodeProcess(pi.hProcess, &code);
        EXPECT_EQ(code, 0u);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
    }
    const auto lines = harness::ReadLogLines();
    EXPECT_EQ(lines.size(), 400u);
    for (const auto& line : lines)
        ASSERT_EQ(WithoutDate(line), "1:[LUMEN70];Error n\xB0" "403;DATE;StartDialog:1097\r");
}

std::string ScratchFolder(const char* name) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + name + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

TEST(ModuleLoad, MissingLanguageLibraryRefusesTheLoadWithoutAMessage) {
    const std::string folder = ScratchFolder("lumen-nolang-");
    const std::string module = folder + "Lumen70_Demo.dll", bus = folder + "Nxjbus.dll";
    ASSERT_TRUE(::CopyFileA(harness::ModulePath().c_str(), module.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA((harness::BinDir() + "Nxjbus.dll").c_str(), bus.c_str(), FALSE));
    platform::BoxWatcher boxes;
    HMODULE loaded = ::LoadLibraryExA(module.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(loaded, nullptr);
    EXPECT_TRUE(boxes.Texts().empty()) << "no message for a missing language library";
    if (loaded)
        ::FreeLibrary(loaded);
    ::DeleteFileA(module.c_str());
    ::DeleteFileA(bus.c_str());
    ::RemoveDirectoryA(folder.c_str());
}

TEST(ModuleLoad, AppDataPathSettingMovesTheModulesFiles) {
    const std::string base = ScratchFolder("lumen-appdata-") + "data";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\HALVEX", 0, nullptr, 0, KEY_WRITE, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, "AppDataPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(base.c_str()),
                     static_cast<DWORD>(base.size() + 1));
    // A second file name gives a fresh module instance, which computes its paths at load.
    const std::string copy = harness::BinDir() + "AppDataCheck.dll";
    ASSERT_TRUE(::CopyFileA(harness::ModulePath().c_str(), copy.c_str(), FALSE));
    {
        Module module(copy);
        char path[MAX_PATH] = {};
        module.Get<void (*)(char*)>("GetInfoFileName")(path);
        EXPECT_EQ(std::string(path), base + "\\HalvexPan\\ConfigHalvexPan.ini");
        EXPECT_NE(::GetFileAttributesA((base + "\\HalvexPan").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    ::RegDeleteValueA(key, "AppDataPath");
    ::RegCloseKey(key);
    ::DeleteFileA(copy.c_str());
}

// Run by small_screen.sh on an 800 x 600 display: the load is refused after message 4187.
TEST(SmallScreen, LoadIsRefusedWithItsMessage) {
    if (!::GetEnvironmentVariableA("LUMEN_SMALL_SCREEN", nullptr, 0))
        GTEST_SKIP() << "needs a display under 1024 x 768";
    ASSERT_LT(::GetSystemMetrics(SM_CXSCREEN), 1024);
    platform::BoxWatcher boxes;
    HMODULE loaded = ::LoadLibraryExA(harness::ModulePath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(loaded, nullptr);
    EXPECT_FALSE(boxes.Texts().empty()) << "message 4187 was shown";
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--log-writer") {
        Module module;
        auto startDialog = module.Get<harness::StartDialogFn>("StartDialog");
        for (int i = 0; startDialog && i < 200; ++i)
            if (startDialog(0, nullptr, nullptr, 1, nullptr) != 3)
                return 3;
        return startDialog ? 0 : 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
