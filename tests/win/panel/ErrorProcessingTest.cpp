// The unit error processing under Wine against the emulator's in-process bus: log line, panel calls,
// each box and dialog as the operator sees it (answered from a watcher thread), the unit commands in
// their order, and the latch and the link lock afterwards.
#include "nxlang/TextIds.h"
#include "panel/PanelOperations.h"
#include "platform/Module.h"
#include "resources/ErrorDialogIds.h"
#include "support/ErrorDialogs.h"
#include "tests/win/WineTestKit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Text(UINT id) {
    return platform::LoadText(id);
}
std::string Caption(int32_t code) {
    return "Error n\xB0" + std::to_string(code);
}
std::string WindowText(HWND wnd) {
    char text[2048] = {};
    ::GetWindowTextA(wnd, text, sizeof text);
    return text;
}

// Re-entrant per thread; its depth is visible to the watcher.
struct CountingLock : support::Lockable {
    bool Lock(unsigned) override { return mutex.lock(), ++depth, true; }
    bool Unlock() override { return --depth, mutex.unlock(), true; }
    std::recursive_mutex mutex;
    std::atomic<int> depth{0};
};

// The emulator's bus functions, every write recorded in order.
struct Write {
    uint16_t address;
    std::vector<uint16_t> words;
};
unitlink::BusApi g_real;
winkit::EmuControlFn g_control = nullptr;
std::mutex g_writesMutex;
std::vector<Write> g_writes;
int RecordOne(int h, unsigned char slave, unsigned short address, unsigned short value) {
    std::lock_guard{g_writesMutex}, g_writes.push_back({address, {value}});
    return g_real.writeOneWord(h, slave, address, value);
}
int RecordSeveral(int h, unsigned char slave, unsigned short address, unsigned short n,
                  const unsigned short* w) {
    std::lock_guard{g_writesMutex}, g_writes.push_back({address, {w, w + n}});
    return g_real.writeSeveralWords(h, slave, address, n, w);
}
constexpr uint16_t Reg(uint16_t byteOffset) {
    return static_cast<uint16_t>(0x7000 + byteOffset / 2);
}

// What the error processing asked of the panel.
struct TestPanel : CPanelOperations {
    explicit TestPanel(unitlink::UnitLink& l) : link(l) {
        wnd = ::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                nullptr, nullptr);
    }
    ~TestPanel() override { ::DestroyWindow(wnd); }
    HWND PanelWindow() const override { return wnd; }
    bool ShowMessage(UINT id) override { return messages.push_back(id), true; }
    void ShowInfoCode(int number, int kind) override {
        codes.push_back((kind == 1 ? "I" : "E") + std::to_string(number));
    }
    bool SendUnitText(const char*, bool) override { return true; }
    void PlayVoicePrompt(UINT id) override { prompts.push_back(id); }
    bool SendCommand(uint8_t code) override {
        support::LockGuard guard(link.Lock());
        return link.Get() && link.Get()->WriteCommand(code);
    }
    bool SendSelectCommand(int, int) override { return true; }
    void RefreshSelection() override { ++refreshes; }
    void ClosePanel(int result) override { closed = result; }
    bool ServiceDialogOpen() const override { return false; }

    unitlink::UnitLink& link;
    HWND wnd;
    std::vector<UINT> messages, prompts;
    std::vector<std::string> codes;
    int refreshes = 0;
    std::optional<int> closed;
};

// A box or dialog as the watcher found it: texts of its visible controls by id (a box's text has
// id 0xFFFF), the link lock's depth and the bus handle at that moment.
struct Seen {
    std::string caption;
    std::map<int, std::string> items;
    int lockDepth = -1;
    int32_t busHandle = 0;
};
// A window to answer: a message box or one of our dialogs, and the button pressed on it.
struct Step {
    bool box;
    int press;
};

// Answers the windows the GUI thread opens, in order; one beyond the script is counted and
// cancelled, so a wrong path fails the test instead of hanging it.
class Watcher {
public:
    Watcher(std::vector<Step> steps, unitlink::UnitLink& link, CountingLock& lock)
        : m_steps(std::move(steps)), m_link(link), m_lock(lock), m_thread(::GetCurrentThreadId()),
          m_worker([this] { Run(); }) {}
    ~Watcher() { Stop(); }
    void Stop() {
        m_done = true;
        if (m_worker.joinable())
            m_worker.join();
    }
    std::vector<Seen> seen;
    int unexpected = 0;

private:
    static BOOL CALLBACK FindDialog(HWND wnd, LPARAM found) {
        char name[16] = {};
        ::GetClassNameA(wnd, name, sizeof name);
        if (std::string(name) != "#32770" || !::IsWindowVisible(wnd) || !::IsWindowEnabled(wnd))
            return TRUE;
        *reinterpret_cast<HWND*>(found) = wnd;
        return FALSE;
    }
    static BOOL CALLBACK AddItem(HWND item, LPARAM seen) {
        if (::IsWindowVisible(item))
            reinterpret_cast<Seen*>(seen)->items[::GetDlgCtrlID(item)] = WindowText(item);
        return TRUE;
    }
    void Run() {
        size_t next = 0;
        std::set<HWND> answered;
        Clock::time_point lingerStart = Clock::time_point::max();
        while (!m_done) {
            HWND wnd = nullptr;
            ::EnumThreadWindows(m_thread, &FindDialog, reinterpret_cast<LPARAM>(&wnd));
            const bool box = wnd && ::GetDlgItem(wnd, 0xFFFF);
            int press = IDCANCEL;
            if (!wnd) {
                std::this_thread::sleep_for(10ms);
                continue;
            } else if (next < m_steps.size() && m_steps[next].box == box) {
                Seen s{WindowText(wnd), {}, m_lock.depth};
                ::EnumChildWindows(wnd, &AddItem, reinterpret_cast<LPARAM>(&s));
                if (s.lockDepth == 0) // only a free lock may be taken: the GUI thread is inside the box
                    s.busHandle = m_link.GetLinkHandle();
                seen.push_back(s);
                press = m_steps[next++].press;
                answered.insert(wnd);
                lingerStart = Clock::time_point::max();
            } else if (answered.count(wnd) &&
                       Clock::now() - (lingerStart = std::min(lingerStart, Clock::now())) < 5s) {
                // A dialog whose box was just answered is enabled again before it ends itself.
                std::this_thread::sleep_for(10ms);
                continue;
            } else {
                ++unexpected;
            }
            ::PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED), 0);
            // The next step starts once this window has closed or a box has disabled it.
            const auto deadline = Clock::now() + 20s;
            while (!m_done && ::IsWindow(wnd) && ::IsWindowEnabled(wnd) && Clock::now() < deadline)
                std::this_thread::sleep_for(5ms);
        }
    }

    std::vector<Step> m_steps;
    unitlink::UnitLink& m_link;
    CountingLock& m_lock;
    DWORD m_thread;
    std::atomic<bool> m_done{false};
    std::thread m_worker;
};

class ErrorProcessing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        platform::SetResourceModule(::GetModuleHandleA(nullptr));
        platform::SetLanguageModule(::LoadLibraryA(winkit::WinePath(LUMEN_BIN_DIR "/NxLang.dll").c_str()));
        ASSERT_TRUE(platform::LanguageModule() && winkit::LoadEmulatorBus(LUMEN_EMU_BUS_DIR, g_real, g_control));
    }
    void SetUp() override {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        const std::string base = std::string(temp) + "errproc-" + std::to_string(::GetCurrentProcessId()) +
                                 "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        logPath = base + ".csv";
        restorePath = base + ".dat";
        unitlink::BusApi api = g_real;
        api.writeOneWord = &RecordOne;
        api.writeSeveralWords = &RecordSeveral;
        link = std::make_unique<unitlink::UnitLink>(lock, api, latch, [](unsigned) {});
        support::LockGuard guard(lock);
        ASSERT_TRUE(link->Create(std::stoi(Status("protocol"))).Open("COM1", 19200));
        Unit("error 0");
        Unit("technical off");
        Unit("panel on");
    }
    void TearDown() override {
        link.reset();
        for (const std::string& path : {logPath, restorePath, restorePath + ".ini"})
            ::DeleteFileA(path.c_str());
    }

    void Unit(const std::string& line) { ASSERT_EQ(g_control(line.c_str(), nullptr, 0), 0) << line; }
    std::string Status(const char* key) {
        char reply[1024] = {};
        g_control("status", reply, sizeof reply);
        const std::string text = std::string(" ") + reply, tag = std::string(" ") + key + "=";
        const size_t start = text.find(tag) + tag.size();
        return text.substr(start, text.find(' ', start) - start);
    }
    std::vector<Write> TakeWrites() {
        std::lock_guard guard(g_writesMutex);
        return std::exchange(g_writes, {});
    }
    std::vector<uint16_t> TakeCommands() {
        std::vector<uint16_t> words;
        for (const Write& w : TakeWrites())
            if (w.address == Reg(128))
                words.push_back(w.words.front());
        return words;
    }
    // The poll's error read, as the panel makes it.
    void PollUnitError() {
        support::LockGuard guard(lock);
        uint16_t error = 0;
        link->Get()->ReadUnitError(&error);
        latch.RecordError(error);
    }
    std::vector<std::string> LogLines() {
        std::ifstream in(logPath, std::ios::binary);
        const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(content.substr(start, end - start));
        return lines;
    }
    // Processes code with the watcher answering steps; returns what the watcher saw.
    std::vector<Seen> Process(int32_t code, std::vector<Step> steps, TestPanel& panel) {
        latch.Clear();
        latch.RecordError(code);
        support::UnitErrorServices services{latch,
                                            log,
                                            *link,
                                            files,
                                            restorePath,
                                            [this] { return technicalAccess; },
                                            [] {},
                                            [this] { return nowMs; },
                                            [this](unsigned ms) { waitedMs += ms; },
                                            repeats};
        Watcher watcher(std::move(steps), *link, lock);
        support::HandleUnitError(panel, services);
        watcher.Stop();
        nowMs += 10000; // the next run is a new occurrence
        EXPECT_EQ(watcher.unexpected, 0) << "a box or dialog the script did not expect, for code " << code;
        EXPECT_EQ(latch.GetLatchedError(), 0);
        EXPECT_EQ(lock.depth, 0);
        return watcher.seen;
    }

    CountingLock lock, logLock;
    unitlink::ErrorLatch latch;
    std::unique_ptr<unitlink::UnitLink> link;
    std::string logPath, restorePath;
    support::EventLog log{logLock, [this] { return logPath; }, [] { return support::LogTime{}; }};
    unitlink::StdRestoreFileStore files;
    support::RepeatedErrorFilter repeats;
    bool technicalAccess = false;
    uint64_t nowMs = 0;
    unsigned waitedMs = 0;
};

TEST_F(ErrorProcessing, CommonStepsThenTheBoxOfTheCodeAndItsAnswer) {
    const std::string fault = "\n\n\n" + Text(4161);
    struct Row {
        int32_t code;
        bool technical;
        std::vector<Step> steps;
        std::optional<std::string> body; // none: no box
        std::vector<uint16_t> commands;
        std::optional<int> closed;
    };
    const Row rows[] = {
        {30, false, {}, {}, {}, {}},
        {106, false, {}, {}, {}, {}},
        {2, false, {{true, IDRETRY}}, Text(4266) + fault, {0x0080}, {}},
        {2, true, {{true, IDRETRY}}, Text(4266) + fault, {0x000B}, {}},
        {59, true, {{true, IDRETRY}}, Text(4323) + fault, {0x0080}, {}},
        {61, false, {{true, IDRETRY}}, Text(4325) + fault, {0x000B}, {}},
        {13, false, {{true, IDCANCEL}}, Text(4277) + fault, {}, 0},
        {201, false, {{true, IDOK}}, Text(4201), {0x0086}, 1},
        {202, false, {{true, IDOK}}, "", {0x0086}, 1},
        {112, false, {{true, IDOK}}, Text(4202), {}, 0}, // last: it closes the bus
    };
    for (const Row& row : rows) {
        technicalAccess = row.technical;
        Unit(row.technical ? "technical on" : "technical off");
        Unit("error " + std::to_string(row.code < 100 ? row.code : 0));
        PollUnitError();
        TakeWrites();
        TestPanel panel(*link);
        auto seen = Process(row.code, row.steps, panel);
        ASSERT_EQ(seen.size(), row.body ? 1u : 0u) << row.code;
        if (row.body) {
            EXPECT_EQ(seen[0].caption, Caption(row.code));
            EXPECT_EQ(seen[0].items[0xFFFF], *row.body);
            EXPECT_EQ(seen[0].lockDepth, 0) << "the link lock is free while the box is open";
        }
        EXPECT_EQ(TakeCommands(), row.commands) << row.code;
        EXPECT_EQ(panel.closed, row.closed) << row.code;
        const bool texts = row.code < 100;
        EXPECT_EQ(panel.messages,
                  texts ? std::vector<UINT>{static_cast<UINT>(4365 + 2 * row.code)} : std::vector<UINT>{});
        EXPECT_EQ(panel.codes, texts ? std::vector<std::string>{"E" + std::to_string(row.code)}
                                     : std::vector<std::string>{});
        EXPECT_EQ(panel.prompts, std::vector<UINT>{4035});
        if (!row.commands.empty() && row.code < 100) {
            EXPECT_EQ(Status("error"), "0") << "the unit took the retry of " << row.code;
        }
        if (row.code == 112) {
            EXPECT_EQ(seen[0].busHandle, -1) << "the bus was closed before the box";
        }
        if (row.code == 201) {
            EXPECT_EQ(Status("panel"), "0");
        }
    }
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), std::size(rows));
    EXPECT_NE(lines.back().find(";Error n\xB0"
                                "30;"),
              std::string::npos)
        << lines.back();
    EXPECT_NE(lines.back().find(";CLumen70App::ProcessError:715"), std::string::npos) << lines.back();

    // The same code latched again by the next polls is neither logged nor spoken again.
    TestPanel again(*link);
    nowMs -= 10000 - 200;
    Process(112, {{true, IDOK}}, again);
    Process(30, {}, again);
    nowMs -= 10000 - 200;
    Process(30, {}, again);
    EXPECT_EQ(again.prompts.size(), 2u);
    EXPECT_EQ(LogLines().size(), std::size(rows) + 2);
}

TEST_F(ErrorProcessing, SetPointDialogsAcknowledgeOnOkThenCheckTheSelection) {
    struct Row {
        int32_t code;
        const char* acquisition; // the NOX command of the selected panoramic program
        int press;
        std::vector<uint16_t> commands;
        std::optional<int> closed;
    };
    const Row rows[] = {{1, "command 0x0107", IDOK, {0x000B}, 0},
                        {1, "command 0x0007", IDOK, {0x000B}, {}},
                        {1, "command 0x0107", IDCANCEL, {}, 0},
                        {55, "command 0x0107", IDOK, {0x000B}, {}}};
    for (const Row& row : rows) {
        Unit("command 0x1004");
        Unit(row.acquisition);
        TakeWrites();
        TestPanel panel(*link);
        auto seen = Process(row.code, {{false, row.press}}, panel);
        ASSERT_EQ(seen.size(), 1u);
        const bool table = row.code == 55;
        EXPECT_EQ(seen[0].caption, Caption(row.code));
        EXPECT_EQ(seen[0].items[IDC_INFO], Text(table ? 4319 : 4139));
        EXPECT_EQ(seen[0].items[IDC_INFO_GENERAL], Text(table ? 4144 : 4140));
        EXPECT_EQ(seen[0].items[IDC_QUESTION], Text(table ? 4145 : 4161));
        EXPECT_EQ(seen[0].items[IDOK], Text(4675));
        EXPECT_EQ(panel.prompts, std::vector<UINT>{table ? 4035u : 4020u});
        EXPECT_EQ(TakeCommands(), row.commands);
        EXPECT_EQ(panel.closed, row.closed) << row.code << " " << row.acquisition;
        EXPECT_EQ(panel.refreshes, table ? 1 : 0);
    }
}

TEST_F(ErrorProcessing, BlockDialogRestoresTheUnitsOwnCopyThenTellsTheUnit) {
    ASSERT_EQ(unitlink::SaveRestoreFile(link->Get(), lock, files, restorePath),
              unitlink::RestoreSaveResult::Saved);
    std::ifstream in(restorePath, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Unit("corrupt cal");
    PollUnitError();
    ASSERT_EQ(latch.GetLatchedError(), 54);
    TakeWrites();
    TestPanel panel(*link);
    auto seen = Process(54, {{false, IDC_RESTAURER}}, panel);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, Caption(54));
    const std::map<int, std::string> items{
        {IDC_ERR_ICON, ""},          {IDC_INFO, Text(4318)},      {IDC_INFO_GENERAL, Text(4161)},
        {IDC_RESTAURER, Text(4680)}, {IDC_REESSAYER, Text(4685)}, {IDC_QUITTER, Text(4677)}};
    EXPECT_EQ(seen[0].items, items) << "no reinit without technical access";
    const auto writes = TakeWrites();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].address, Reg(162));
    ASSERT_EQ(writes[0].words.size(), 40u);
    for (size_t i = 0; i < 40; ++i)
        ASSERT_EQ(writes[0].words[i], file.at(62 + 2 * i) | file.at(63 + 2 * i) << 8) << "word " << i;
    EXPECT_EQ(writes[1].words, std::vector<uint16_t>{0x0181});
    EXPECT_EQ(writes[2].words, std::vector<uint16_t>{0x010B});
    EXPECT_EQ(Status("error"), "0") << "the unit took the restored table";
    EXPECT_FALSE(panel.closed.has_value());
}

TEST_F(ErrorProcessing, BlockDialogRetryQuitEscapeReinitAndAShortFile) {
    struct Row {
        int32_t code;
        bool technical;
        std::vector<Step> steps;
        size_t fileBytes;
        std::vector<uint16_t> commands;
        std::optional<int> closed;
    };
    const Row rows[] = {
        {56, false, {{false, IDC_REESSAYER}}, 0, {0x0080}, {}},
        {56, false, {{false, IDC_QUITTER}}, 0, {}, 1},
        {57, false, {{false, IDCANCEL}}, 0, {}, 1},
        // 100 bytes end inside the preferences (142 to 181): no block written, the unit is still told.
        {57, false, {{false, IDC_RESTAURER}}, 100, {0x0481, 0x040B}, {}},
        {56,
         true,
         {{false, IDC_REINIT}, {true, IDNO}, {false, IDC_REINIT}, {true, IDYES}},
         0,
         {0x0082, 0x000B},
         {}},
    };
    for (const Row& row : rows) {
        ::DeleteFileA(restorePath.c_str());
        if (row.fileBytes)
            std::ofstream(restorePath, std::ios::binary) << std::string(row.fileBytes, '\x5A');
        technicalAccess = row.technical;
        waitedMs = 0;
        TestPanel panel(*link);
        auto seen = Process(row.code, row.steps, panel);
        ASSERT_EQ(seen.size(), row.steps.size());
        EXPECT_EQ(seen[0].items[IDC_INFO], Text(row.code == 56 ? 4320 : 4321));
        EXPECT_EQ(seen[0].items.count(IDC_REINIT), row.technical ? 1u : 0u);
        EXPECT_EQ(TakeCommands(), row.commands) << row.steps[0].press;
        EXPECT_EQ(panel.closed, row.closed) << row.steps[0].press;
        EXPECT_EQ(waitedMs, row.steps[0].press == IDC_REESSAYER ? 2000u : 0u);
        if (row.technical) {
            EXPECT_EQ(seen[1].caption, "");
            EXPECT_EQ(seen[1].items[0xFFFF], Text(4135));
        }
    }
    EXPECT_NE(LogLines().at(1).find("Restore file too short"), std::string::npos);
}

TEST_F(ErrorProcessing, DetailsDialogShowsTheUnitInformationFileReadOnly) {
    const std::string infoPath = restorePath + ".ini";
    std::ofstream(infoPath, std::ios::binary) << "[Unit]\nSerial=1234\r\nVersion=2.10\n";
    for (const char* shown : {"[Unit]\r\nSerial=1234\r\nVersion=2.10\r\n", ""}) {
        TestPanel panel(*link);
        Watcher watcher({{false, IDOK}}, *link, lock);
        EXPECT_EQ(CDetailsDialog(panel.wnd, infoPath).DoModal(), IDOK);
        watcher.Stop();
        ASSERT_EQ(watcher.seen.size(), 1u);
        EXPECT_EQ(watcher.seen[0].caption, Text(4149));
        EXPECT_EQ(watcher.seen[0].items[IDOK], Text(4675));
        EXPECT_EQ(watcher.seen[0].items[IDC_DETAILS_TEXT], shown);
        ::DeleteFileA(infoPath.c_str());
    }
}

} // namespace
