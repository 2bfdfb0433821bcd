// The panel started through StartDialog with the emulator's bus library beside the module: what the
// exposure-cycle tests share (unit control line, status fields, host notifications, message boxes
// answered from a watcher thread, the event log).
#pragma once

#include "ModuleHarness.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace shot {

using ControlFn = int (*)(const char*, char*, int);

inline std::string EmulatorFolder() {
    std::string path = "Z:" LUMEN_EMU_MODULE_DIR;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path + "\\";
}

inline void SetModuleValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO\\LUMEN70", 0, nullptr, 0, KEY_WRITE, nullptr,
                      &key, nullptr);
    ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
}
inline void DeleteModuleValue(const char* name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO\\LUMEN70", 0, KEY_WRITE, &key) == 0) {
        ::RegDeleteValueA(key, name);
        ::RegCloseKey(key);
    }
}

inline void SetPortSettings() {
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr);
    ::RegSetValueExA(key, "COM", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
    ::RegCloseKey(key);
    const DWORD baud = 19200;
    SetModuleValue("Baudrate", REG_DWORD, &baud, sizeof baud);
}

inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(10);
    }
    return true;
}

// The event-log text of an error handed to the error processing.
inline std::string ErrorEntry(int code) {
    return "Error n\xB0" + std::to_string(code);
}
inline size_t LogLinesWith(const std::string& text) {
    size_t n = 0;
    for (const std::string& line : harness::ReadLogLines())
        n += line.find(text) != std::string::npos;
    return n;
}

// Answers every message box of this process while it lives: OK where there is one, else Retry, else
// Cancel.
class BoxWatcher {
public:
    BoxWatcher() {
        // The display driver is loaded here, on the test's thread, first: loaded by the watcher while
        // the test's thread loads the module (whose start-up asks the display for its size under the
        // loader lock), each thread waited for the other.
        ::EnumWindows(&Answer, 0);
        m_thread = std::thread([this] { Run(); });
    }
    ~BoxWatcher() {
        m_stop = true;
        m_thread.join();
    }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

private:
    static BOOL CALLBACK Answer(HWND wnd, LPARAM) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(wnd, &process);
        char name[16] = {};
        ::GetClassNameA(wnd, name, sizeof name);
        if (process != ::GetCurrentProcessId() || std::strcmp(name, "#32770") != 0 ||
            !::GetDlgItem(wnd, 0xFFFF))
            return TRUE;
        for (int button : {IDOK, IDRETRY, IDCANCEL}) {
            if (::GetDlgItem(wnd, button)) {
                ::PostMessageA(wnd, WM_COMMAND, button, 0);
                break;
            }
        }
        return TRUE;
    }
    void Run() {
        while (!m_stop) {
            ::EnumWindows(&Answer, 0);
            ::Sleep(20);
        }
    }
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// What the host's notification function received, with a hook run on the panel's thread at each call.
struct Notifications {
    std::mutex mutex;
    std::vector<int32_t> events;
    std::function<void(int32_t)> hook;
};
inline Notifications& HostEvents() {
    static Notifications n;
    return n;
}
inline void RecordNotify(int32_t event) {
    Notifications& n = HostEvents();
    std::function<void(int32_t)> hook;
    {
        std::lock_guard lock(n.mutex);
        n.events.push_back(event);
        hook = n.hook;
    }
    if (hook)
        hook(event);
}
inline std::vector<int32_t> Notified() {
    std::lock_guard lock(HostEvents().mutex);
    return HostEvents().events;
}

class ShotPanel : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetPortSettings(); }

    void SetUp() override {
        harness::ClearStartPgm();
        harness::DeleteLog();
        std::lock_guard lock(HostEvents().mutex);
        HostEvents().events.clear();
        HostEvents().hook = nullptr;
    }
    void TearDown() override {
        if (panel && ::IsWindow(panel)) {
            control("fault none", nullptr, 0);
            control("port ok", nullptr, 0);
            Unit("cycle 0");
            Close();
        }
        {
            std::lock_guard lock(HostEvents().mutex);
            HostEvents().hook = nullptr;
        }
        module.reset(); // the emulator leaves with the module: the next test meets a fresh unit
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
        HMODULE bus = ::GetModuleHandleA("Nxjbus.dll");
        control = reinterpret_cast<ControlFn>(reinterpret_cast<void*>(::GetProcAddress(bus, "EmuControl")));
        ASSERT_NE(control, nullptr) << "the emulator's bus library sits beside the module";
        Unit((std::string("version ") + version).c_str());
        ASSERT_EQ(module->Get<harness::OpenCommPortFn>("OpenCommPort")(), 15);
    }
    void Unit(const char* line) { EXPECT_EQ(control(line, nullptr, 0), 0) << line; }
    std::string StatusLine() {
        char reply[2048] = {};
        control("status", reply, sizeof reply);
        return reply;
    }
    // One plain field of the emulator's status line.
    std::string Status(const std::string& key) {
        std::istringstream in(StatusLine());
        std::string field;
        while (in >> field)
            if (field.rfind(key + "=", 0) == 0)
                return field.substr(key.size() + 1);
        return "?";
    }
    // One quoted text field (display, unit_text, host_text), unescaped to its bytes.
    std::string StatusText(const std::string& key) {
        const std::string line = StatusLine();
        const size_t at = line.find(" " + key + "=\"");
        if (at == std::string::npos)
            return "?";
        std::string text;
        for (size_t i = at + key.size() + 3; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'x' && i + 3 < line.size()) {
                text += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else if (line[i] == '\\' && i + 1 < line.size()) {
                text += line[++i];
            } else {
                text += line[i];
            }
        }
        return text;
    }
    bool StatusBecomes(const std::string& key, const std::string& value, DWORD timeoutMs = 5000) {
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
    void Close() {
        const size_t before = Notified().size();
        ::SendMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        WaitFor([&] { return !::IsWindow(panel); }, 5000);
        WaitFor([&] { return Notified().size() >= before + 2; }, 5000);
    }
    // The unit ready for a shot (panel active, program exposing), then the exposure switch pressed.
    void Expose() {
        ASSERT_TRUE(StatusBecomes("ready", "1", 10000)) << StatusLine();
        Unit("expose");
    }
    size_t CycleStarts() {
        size_t n = 0;
        for (int32_t e : Notified())
            n += e == 0;
        return n;
    }

    BoxWatcher boxes;
    std::unique_ptr<harness::Module> module;
    ControlFn control = nullptr;
    HWND panel = nullptr;
};

} // namespace shot
