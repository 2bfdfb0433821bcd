// What the Wine tests of the panel share: the module started through StartDialog with the emulator's
// bus library beside it, the unit driven and read through its control lines, each poll observed at
// the module's bus import, the host's notifications, and message boxes answered from a watcher thread.
#pragma once

#include "ModuleHarness.h"
#include "emulator/History.h"
#include "platform/BoxWatcher.h"
#include "tests/win/WineTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ControlFn = int (*)(const char*, char*, int);
using ReadWordsFn = int (*)(int, unsigned char, unsigned short, unsigned short, unsigned short*);
using winkit::WaitFor;

constexpr unsigned short kStateWordAddress = 0x7000 + 30 / 2;

std::string EmulatorFolder() {
    return winkit::WinePath(LUMEN_EMU_MODULE_DIR) + "\\";
}

// A value of the module's settings; no data deletes it.
void SetModuleValue(const char* name, DWORD type, const void* data, DWORD size) {
    constexpr char kKey[] = "Software\\HALVEX\\PANO\\LUMEN70";
    data ? ::RegSetKeyValueA(HKEY_CURRENT_USER, kKey, name, type, data, size)
         : ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, name);
}

void SetPortSettings() {
    ::RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO", "COM", REG_SZ, "1", 2);
    const DWORD baud = 19200;
    SetModuleValue("Baudrate", REG_DWORD, &baud, sizeof baud);
}

// ---- Polls observed at the module's import of the bus library ------------------------------------

std::atomic<ReadWordsFn> g_realRead{nullptr};
std::mutex g_pollMutex;
std::vector<double> g_pollTimesMs;

double NowMs() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int CountingRead(int handle, unsigned char slave, unsigned short address, unsigned short count,
                 unsigned short* out) {
    if (address == kStateWordAddress && count == 1) {
        std::lock_guard lock(g_pollMutex);
        g_pollTimesMs.push_back(NowMs());
    }
    return g_realRead.load()(handle, slave, address, count, out);
}

size_t PollCount() {
    std::lock_guard lock(g_pollMutex);
    return g_pollTimesMs.size();
}

// Points the module's import of `function` from `library` at `replacement`; returns the original.
void* PatchImport(HMODULE module, const char* library, const char* function, void* replacement) {
    auto* base = reinterpret_cast<uint8_t*>(module);
    auto* nt =
        reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name;
         ++imp) {
        if (_stricmp(reinterpret_cast<char*>(base + imp->Name), library) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                            function) != 0)
                continue;
            DWORD old = 0;
            ::VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            void* original = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
            return original;
        }
    }
    return nullptr;
}

// A control of the panel's pages by identifier (the pages are dialogs nested in the panel).
[[maybe_unused]] HWND PageControl(HWND panel, int id, HWND within = nullptr) {
    for (HWND child = ::GetWindow(within ? within : panel, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT))
        if (HWND found = within && ::GetDlgCtrlID(child) == id ? child : PageControl(panel, id, child))
            return found;
    return nullptr;
}

// ---- Host notifications ---------------------------------------------------------------------------

// What the host's notification function received, with a hook run on the panel's thread at each call.
std::mutex g_eventMutex;
std::vector<int32_t> g_events;
std::function<void(int32_t)> g_hook;
void RecordNotify(int32_t event) {
    std::function<void(int32_t)> hook;
    {
        std::lock_guard lock(g_eventMutex);
        g_events.push_back(event);
        hook = g_hook;
    }
    if (hook)
        hook(event);
}
std::vector<int32_t> Notified() {
    std::lock_guard lock(g_eventMutex);
    return g_events;
}
void ForgetNotifications() {
    std::lock_guard lock(g_eventMutex);
    g_events.clear();
}

// The event-log text of an error handed to the error processing, and the lines holding a text.
[[maybe_unused]] std::string ErrorEntry(int code) {
    return "Error n\xB0" + std::to_string(code);
}
[[maybe_unused]] size_t LogLinesWith(const std::string& text) {
    const auto lines = harness::ReadLogLines();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                             [&](const std::string& l) { return l.find(text) != l.npos; }));
}

// Answers every message box of this process while it lives and keeps their texts.
using platform::BoxWatcher;

class LivePanel : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetPortSettings(); }

    void SetUp() override {
        harness::ClearStartPgm();
        harness::DeleteLog();
        ForgetNotifications();
        SetHook(nullptr);
        std::lock_guard lock(g_pollMutex);
        g_pollTimesMs.clear();
    }
    void TearDown() override {
        if (panel && ::IsWindow(panel)) {
            for (const char* line : {"fault none", "port ok", "cycle 0"})
                control(line, nullptr, 0);
            Close();
        }
        SetHook(nullptr);
        module.reset(); // the emulator leaves with the module: the next test meets a fresh unit
    }
    static void SetHook(std::function<void(int32_t)> hook) {
        std::lock_guard lock(g_eventMutex);
        g_hook = std::move(hook);
    }

    // A module of its own in the emulator's folder, its link open on the given unit software.
    void Load(const char* version, const char* suffix = "") {
        // A copy per load: a module still held by a closing GUI thread is never overwritten.
        const std::string copy = EmulatorFolder() + "Lumen70_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + suffix +
                                 ".dll";
        ASSERT_TRUE(::CopyFileA((EmulatorFolder() + "Lumen70_Demo.dll").c_str(), copy.c_str(), FALSE));
        module = std::make_unique<harness::Module>(copy);
        ASSERT_NE(module->Handle(), nullptr);
        control = reinterpret_cast<ControlFn>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("Nxjbus.dll"), "EmuControl")));
        ASSERT_NE(control, nullptr) << "the emulator's bus library sits beside the module";
        g_realRead = reinterpret_cast<ReadWordsFn>(PatchImport(
            module->Handle(), "Nxjbus.dll", "JbusReadSeveralWords", reinterpret_cast<void*>(&CountingRead)));
        ASSERT_NE(g_realRead.load(), nullptr);
        Unit((std::string("version ") + version).c_str());
        ASSERT_EQ(OpenPort(), 15);
    }
    int OpenPort() { return module->Get<harness::OpenCommPortFn>("OpenCommPort")(); }
    void Unit(const char* line) { ASSERT_EQ(control(line, nullptr, 0), 0) << line; }
    std::string StatusLine() {
        char reply[2048] = {};
        control("status", reply, sizeof reply);
        return reply;
    }
    // One plain field of the emulator's status line.
    std::string Status(const std::string& key) {
        std::istringstream in(StatusLine());
        for (std::string field; in >> field;)
            if (field.rfind(key + "=", 0) == 0)
                return field.substr(key.size() + 1);
        return "?";
    }
    // One quoted text field (display, unit_text), unescaped to its bytes.
    std::string StatusText(const std::string& key) {
        const std::string line = StatusLine();
        const size_t at = line.find(" " + key + "=\"");
        if (at == std::string::npos)
            return "?";
        std::string text;
        for (size_t i = at + key.size() + 3; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x') {
                text += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                i += line[i] == '\\' && i + 1 < line.size();
                text += line[i];
            }
        }
        return text;
    }
    // The command words the unit received since the last call.
    std::vector<emu::CommandRecord> TakeCommands() {
        char reply[8192] = {};
        control("history commands", reply, sizeof reply);
        Unit("history clear");
        std::vector<emu::CommandRecord> records;
        EXPECT_TRUE(emu::history::ParseCommands(reply, records)) << reply;
        return records;
    }
    size_t Sent(uint16_t word) { return emu::history::CountCommand(TakeCommands(), word); }
    bool StatusBecomes(const std::string& key, const std::string& value, DWORD timeoutMs = 20000) {
        return WaitFor([&] { return Status(key) == value; }, timeoutMs);
    }
    void Start(unsigned char mode, const char* userText = nullptr) {
        ASSERT_TRUE(module && module->Handle());
        uint32_t slot = 0;
        uint32_t text[64] = {};
        if (userText)
            std::memcpy(text, userText, std::min<size_t>(std::strlen(userText), 255));
        ASSERT_EQ(module->Get<harness::StartDialogFn>("StartDialog")(0, &slot, &RecordNotify, mode,
                                                                     userText ? text : nullptr),
                  15);
        panel = reinterpret_cast<HWND>(static_cast<uintptr_t>(slot));
        ASSERT_TRUE(::IsWindow(panel));
    }
    // The unit ready for a shot (panel active, program exposing), then the exposure switch pressed.
    void Expose() {
        ASSERT_TRUE(StatusBecomes("ready", "1")) << StatusLine();
        Unit("expose");
    }
    size_t CycleStarts() {
        const auto events = Notified();
        return static_cast<size_t>(std::count(events.begin(), events.end(), 0));
    }
    // Waits until the panel has polled n more times.
    bool Polls(size_t n, DWORD timeoutMs = 20000) {
        const size_t target = PollCount() + n;
        return WaitFor([&] { return PollCount() >= target; }, timeoutMs);
    }
    void Close() {
        const size_t before = Notified().size();
        ::SendMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        WaitFor([&] { return !::IsWindow(panel); });
        WaitFor([&] { return Notified().size() >= before + 2; });
    }
    // The panel closed and the module unloaded, the emulated unit with it.
    void Unload() {
        Close();
        module.reset();
        ForgetNotifications();
    }
    BoxWatcher boxes;
    std::unique_ptr<harness::Module> module;
    ControlFn control = nullptr;
    HWND panel = nullptr;
};

} // namespace
