// What the service dialogs' Wine tests share: the emulator's bus loaded beside the test, a unit
// started per test, the service context with its fakes, and a dialog run modally on its own UI
// thread and driven by control id.
#pragma once

#include "emulator/History.h"
#include "nxlang/TextIds.h"
#include "platform/Module.h"
#include "service/ExtendedListCtrl.h"
#include "service/ServiceContext.h"
#include "support/RVSharedObj.h"
#include "tests/unit/support/MemoryRegistry.h"
#include "tests/win/WineTestKit.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

unitlink::BusApi g_bus;
winkit::EmuControlFn g_control = nullptr;

using winkit::WaitFor;

std::string WindowText(HWND wnd) {
    char text[512] = {};
    ::GetWindowTextA(wnd, text, sizeof text);
    return text;
}
std::string Field(HWND dialog, int id) { return WindowText(::GetDlgItem(dialog, id)); }
void Type(HWND dialog, int id, const char* text) {
    ::SendMessageA(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}
// A button as the operator presses it; the handler runs on the dialog's thread.
void Click(HWND dialog, int id) {
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// The dialog window of a thread, once it is shown.
HWND DialogOf(DWORD thread) {
    HWND found = nullptr;
    ::EnumThreadWindows(
        thread,
        [](HWND wnd, LPARAM out) {
            char name[16] = {};
            ::GetClassNameA(wnd, name, sizeof name);
            if (std::string(name) != "#32770" || !::IsWindowVisible(wnd))
                return TRUE;
            *reinterpret_cast<HWND*>(out) = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// With LUMEN_SERVICE_SCREENS set, the dialog as it is on the screen into DIR/name.bmp.
void Screenshot(HWND wnd, const char* name) {
    winkit::ScreenshotIfAsked("LUMEN_SERVICE_SCREENS", wnd, name);
}

// One dialog run modally on its own UI thread.
class DialogRun {
public:
    explicit DialogRun(std::function<INT_PTR()> run)
        : m_thread([this, run] {
              m_threadId = ::GetCurrentThreadId();
              m_result = run();
              m_done = true;
          }) {
        WaitFor([this] { return m_threadId != 0 && (m_done || (m_wnd = DialogOf(m_threadId)) != nullptr); });
    }
    ~DialogRun() {
        // A run of several dialogs may have moved on from the first: cancel whichever is shown.
        for (int attempt = 0; attempt < 20 && !m_done; ++attempt) {
            if (HWND shown = DialogOf(m_threadId))
                ::PostMessageA(shown, WM_COMMAND, IDCANCEL, 0);
            WaitFor([this] { return m_done.load(); }, 1000);
        }
        m_thread.join();
    }
    DWORD threadId() const { return m_threadId; }
    HWND wnd() const { return m_wnd; }
    HWND item(int id) const { return ::GetDlgItem(m_wnd, id); }
    std::string text(int id) const { return Field(m_wnd, id); }
    void Press(int id) const { Click(m_wnd, id); }
    bool Ended() {
        return WaitFor([this] { return m_done.load(); });
    }
    bool Open() const { return !m_done && ::IsWindow(m_wnd); }
    INT_PTR result() const { return m_result; }
    std::string Selected(int id) const {
        const LRESULT index = ::SendMessageA(item(id), CB_GETCURSEL, 0, 0);
        if (index < 0)
            return "";
        char text[256] = {};
        ::SendMessageA(item(id), CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        return text;
    }

private:
    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_done{false};
    HWND m_wnd = nullptr;
    INT_PTR m_result = -1;
    std::thread m_thread;
};

class ServiceDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        platform::SetResourceModule(::GetModuleHandleA(nullptr));
        platform::SetLanguageModule(::LoadLibraryA(winkit::WinePath(LUMEN_BIN_DIR "/NxLang.dll").c_str()));
        ASSERT_TRUE(platform::LanguageModule() && winkit::LoadEmulatorBus(LUMEN_EMU_BUS_DIR, g_bus, g_control));
        ::InitCommonControls();
    }
    void SetUp() override { StartUnit("2.10"); }
    void TearDown() override {
        link.reset();
        ::DeleteFileA(restorePath.c_str());
    }
    // A fresh unit of this firmware version with its default blocks, and the link to it.
    void StartUnit(const std::string& version) {
        link.reset();
        Unit("version " + version);
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        restorePath = std::string(temp) + "service-" + std::to_string(::GetCurrentProcessId()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat";
        ::DeleteFileA(restorePath.c_str());
        link = std::make_unique<unitlink::UnitLink>(lock, g_bus, latch, [](unsigned) {});
        // The module's own texts, message boxes answered by the test, two serial ports.
        const auto moduleText = service::MakeServiceContext(*link, files, restorePath, {}, {}).moduleText;
        context.reset(new service::ServiceContext{*link, files, restorePath, registry,
                                                  [this](HWND, UINT id, UINT flags) {
                                                      std::lock_guard guard(messagesMutex);
                                                      messages.push_back(id);
                                                      return (flags & MB_YESNO) ? answer.load() : IDOK;
                                                  },
                                                  [](UINT id) { return platform::LoadText(id); }, moduleText,
                                                  [] {
                                                      return std::vector<std::string>{"COM1", "COM2"};
                                                  },
                                                  [this] { ++refreshes; },
                                                  [this](bool open) { dialogOpen = open; }});
        support::LockGuard guard(lock);
        ASSERT_TRUE(link->Create(version[0] == '1' ? 1 : 2).Open("COM1", 19200));
        Unit("history clear");
    }

    std::string Unit(const std::string& line) {
        char reply[2048] = {};
        EXPECT_EQ(g_control(line.c_str(), reply, sizeof reply), 0) << line;
        return reply;
    }
    std::vector<uint16_t> Commands() {
        std::vector<emu::CommandRecord> records;
        EXPECT_TRUE(emu::history::ParseCommands(Unit("history commands"), records));
        std::vector<uint16_t> words;
        for (const auto& r : records)
            words.push_back(r.word);
        return words;
    }
    std::vector<emu::WriteRecord> Writes() {
        std::vector<emu::WriteRecord> records;
        EXPECT_TRUE(emu::history::ParseWrites(Unit("history writes"), records));
        return records;
    }
    // The stored block's words, register order.
    std::vector<uint16_t> Stored(const char* block) { return Block("stored", block); }
    // The block's words as stored (non-volatile) or live (what the unit's registers show).
    std::vector<uint16_t> Block(const char* kind, const char* block) {
        std::istringstream in(Unit(std::string("blocks ") + kind + " " + block));
        std::vector<uint16_t> words;
        for (std::string token; in >> token;)
            if (token.size() == 4)
                words.push_back(static_cast<uint16_t>(std::stoul(token, nullptr, 16)));
        return words;
    }
    static std::vector<uint8_t> Bytes(const std::vector<uint16_t>& words) {
        std::vector<uint8_t> bytes;
        for (uint16_t w : words)
            bytes.insert(bytes.end(), {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
        return bytes;
    }
    std::vector<uint8_t> FileBytes() {
        std::ifstream in(restorePath, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<UINT> TakeMessages() {
        std::lock_guard guard(messagesMutex);
        return std::exchange(messages, {});
    }
    template <typename Dialog> std::unique_ptr<DialogRun> Open() {
        auto run = std::make_unique<DialogRun>([this] {
            Dialog dialog(nullptr, *context);
            return dialog.DoModal();
        });
        EXPECT_TRUE(run->wnd()) << "the dialog did not appear";
        EXPECT_TRUE(dialogOpen) << "the panel was not told";
        return run;
    }

    CRVSharedObj lock; // the module's own link lock
    unitlink::ErrorLatch latch;
    std::unique_ptr<unitlink::UnitLink> link;
    unitlink::StdRestoreFileStore files;
    testing_support::MemoryRegistry registry;
    std::unique_ptr<service::ServiceContext> context;
    std::string restorePath;
    std::mutex messagesMutex;
    std::vector<UINT> messages;
    std::atomic<int> answer{IDYES};
    std::atomic<int> refreshes{0};
    std::atomic<bool> dialogOpen{false};
};

} // namespace
