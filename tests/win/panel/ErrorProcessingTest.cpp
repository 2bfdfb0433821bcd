// The unit error processing under Wine against the emulator's in-process bus: for each kind of code
// the log line, the panel calls, the box or dialog as the operator sees it (answered from a watcher
// thread), the unit commands in their order, and the latch and the link lock afterwards.
#include "link/JbusV2.h"
#include "nxlang/TextIds.h"
#include "panel/PanelOperations.h"
#include "platform/Module.h"
#include "resources/ErrorDialogIds.h"
#include "support/ErrorDialogs.h"
#include "support/UnitErrorHandling.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace {

using ControlFn = int (*)(const char*, char*, int);

std::string WinePath(const char* unixPath) {
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string Text(UINT id) {
    return platform::LoadText(id);
}

// Re-entrant per thread, exclusive between threads; its depth is visible to the watcher.
class CountingLock : public support::Lockable {
public:
    bool Lock(unsigned) override {
        m_mutex.lock();
        ++depth;
        return true;
    }
    bool Unlock() override {
        --depth;
        m_mutex.unlock();
        return true;
    }
    std::atomic<int> depth{0};

private:
    std::recursive_mutex m_mutex;
};

// The emulator's bus functions, with every write recorded in order.
struct Write {
    uint16_t address;
    std::vector<uint16_t> words;
};
struct EmulatorBus {
    HMODULE library = nullptr;
    unitlink::BusApi real;
    ControlFn control = nullptr;
    std::mutex mutex;
    std::vector<Write> writes;
};
EmulatorBus* g_bus = nullptr;

int RecordOne(int handle, unsigned char slave, unsigned short address, unsigned short value) {
    {
        std::lock_guard lock(g_bus->mutex);
        g_bus->writes.push_back({address, {value}});
    }
    return g_bus->real.writeOneWord(handle, slave, address, value);
}
int RecordSeveral(int handle, unsigned char slave, unsigned short address, unsigned short count,
                  const unsigned short* words) {
    {
        std::lock_guard lock(g_bus->mutex);
        g_bus->writes.push_back({address, {words, words + count}});
    }
    return g_bus->real.writeSeveralWords(handle, slave, address, count, words);
}

constexpr uint16_t Reg(uint16_t byteOffset) {
    return static_cast<uint16_t>(0x7000 + byteOffset / 2);
}
constexpr uint16_t kCommandRegister = Reg(128);

// What the error processing asked of the panel.
class TestPanel : public CPanelOperations {
public:
    explicit TestPanel(unitlink::UnitLink& link) : m_link(link) {
        m_wnd = ::CreateWindowExA(0, "STATIC", "panel", WS_POPUP | WS_VISIBLE, 0, 0, 320, 200, nullptr,
                                  nullptr, nullptr, nullptr);
    }
    ~TestPanel() override { ::DestroyWindow(m_wnd); }

    HWND PanelWindow() const override { return m_wnd; }
    bool ShowMessage(UINT id) override {
        messages.push_back(id);
        return true;
    }
    void ShowInfoCode(int number, int kind) override {
        char code[8];
        std::snprintf(code, sizeof code, kind == 1 ? "I%.2d" : "E%.2d", number);
        codes.push_back(code);
    }
    bool SendUnitText(const char*, bool) override { return true; }
    void PlayVoicePrompt(UINT id) override { prompts.push_back(id); }
    bool SendCommand(uint8_t code) override {
        commands.push_back(code);
        support::LockGuard guard(m_link.Lock());
        unitlink::CJbus* jbus = m_link.Get();
        return jbus && jbus->WriteCommand(code);
    }
    bool SendSelectCommand(int, int) override { return true; }
    void RefreshSelection() override { ++refreshes; }
    void ClosePanel(int result) override { closed = result; }
    bool ServiceDialogOpen() const override { return false; }

    std::vector<UINT> messages;
    std::vector<std::string> codes;
    std::vector<UINT> prompts;
    std::vector<uint8_t> commands;
    int refreshes = 0;
    std::optional<int> closed;

private:
    unitlink::UnitLink& m_link;
    HWND m_wnd = nullptr;
};

// A box or dialog as the watcher found it, just before it pressed a button.
struct Seen {
    bool box = false;
    std::string caption;
    std::string text; // a box's text
    std::map<int, std::string> items;
    bool reinitVisible = false;
    int lockDepth = -1;
    int32_t busHandle = 0;
};

// One window to answer: a message box or one of our dialogs, and the button to press on it.
struct Step {
    bool box;
    int press;
};

// Answers the boxes and dialogs that the GUI thread opens, in order; anything beyond the script is
// recorded and cancelled, so a wrong path fails the test instead of hanging it.
class Watcher {
public:
    Watcher(std::vector<Step> steps, unitlink::UnitLink& link, CountingLock& lock)
        : m_steps(std::move(steps)), m_link(link), m_lock(lock), m_thread(::GetCurrentThreadId()) {
        m_worker = std::thread([this] { Run(); });
    }
    ~Watcher() { Stop(); }
    // Ends the watch; what it saw is complete after this.
    void Stop() {
        m_done = true;
        if (m_worker.joinable())
            m_worker.join();
    }
    std::vector<Seen> seen;
    int unexpected = 0;

private:
    struct Found {
        HWND wnd = nullptr;
        bool box = false;
    };
    static BOOL CALLBACK Collect(HWND wnd, LPARAM param) {
        char name[16] = {};
        ::GetClassNameA(wnd, name, sizeof name);
        if (std::string(name) == "#32770" && ::IsWindowVisible(wnd) && ::IsWindowEnabled(wnd)) {
            auto* found = reinterpret_cast<Found*>(param);
            found->wnd = wnd;
            found->box = ::GetDlgItem(wnd, 0xFFFF) != nullptr;
            return FALSE;
        }
        return TRUE;
    }
    static std::string WindowText(HWND wnd) {
        char text[1024] = {};
        ::GetWindowTextA(wnd, text, sizeof text);
        return text;
    }
    Seen Look(const Found& found) {
        Seen s;
        s.box = found.box;
        s.caption = WindowText(found.wnd);
        if (found.box)
            s.text = WindowText(::GetDlgItem(found.wnd, 0xFFFF));
        for (int id : {IDC_INFO, IDC_INFO_GENERAL, IDC_QUESTION, IDC_RESTAURER, IDC_REESSAYER, IDC_QUITTER,
                       IDC_REINIT, IDOK, IDC_DETAILS_TEXT})
            if (HWND item = ::GetDlgItem(found.wnd, id))
                s.items[id] = WindowText(item);
        s.reinitVisible = ::IsWindowVisible(::GetDlgItem(found.wnd, IDC_REINIT)) != FALSE;
        s.lockDepth = m_lock.depth;
        // Only a free lock may be taken here: the GUI thread is inside the box.
        if (s.lockDepth == 0)
            s.busHandle = m_link.GetLinkHandle();
        if (const char* dir = std::getenv("LUMEN_ERROR_SCREENS"))
            Shoot(found.wnd, std::string(dir) + "\\" + std::to_string(m_shots++) + ".bmp");
        return s;
    }
    // The window as it is on screen, for a person to look at.
    static void Shoot(HWND wnd, const std::string& path) {
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        std::this_thread::sleep_for(std::chrono::milliseconds(400)); // painting only, not ordering
        RECT r;
        ::GetWindowRect(wnd, &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        HDC screen = ::GetDC(nullptr);
        HDC memory = ::CreateCompatibleDC(screen);
        HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        ::SelectObject(memory, old);
        BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        const int stride = (w * 3 + 3) & ~3;
        std::vector<char> pixels(static_cast<size_t>(stride) * h);
        ::GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                    DIB_RGB_COLORS);
        BITMAPFILEHEADER file{0x4D42,
                              static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0,
                              0, sizeof(BITMAPFILEHEADER) + sizeof info};
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&file), sizeof file);
        out.write(reinterpret_cast<const char*>(&info), sizeof info);
        out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
        ::DeleteObject(bitmap);
        ::DeleteDC(memory);
        ::ReleaseDC(nullptr, screen);
    }
    // True while a window already answered may still be finishing its work (a few seconds).
    static bool Lingers(std::optional<std::chrono::steady_clock::time_point>& since) {
        const auto now = std::chrono::steady_clock::now();
        if (!since)
            since = now;
        return now - *since < std::chrono::seconds(5);
    }
    void Run() {
        size_t next = 0;
        std::set<HWND> answered;
        std::optional<std::chrono::steady_clock::time_point> lingering;
        while (!m_done) {
            Found found;
            ::EnumThreadWindows(m_thread, &Collect, reinterpret_cast<LPARAM>(&found));
            if (!found.wnd) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            int press = IDCANCEL;
            if (next < m_steps.size() && m_steps[next].box == found.box) {
                seen.push_back(Look(found));
                press = m_steps[next++].press;
                answered.insert(found.wnd);
                lingering = {};
            } else if (answered.count(found.wnd) && Lingers(lingering)) {
                // A dialog whose box was just answered is enabled again before it ends itself.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            } else {
                ++unexpected;
            }
            ::PostMessageA(found.wnd, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED), 0);
            // The next step starts once this window has closed or a box has disabled it.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!m_done && ::IsWindow(found.wnd) && ::IsWindowEnabled(found.wnd) &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::vector<Step> m_steps;
    unitlink::UnitLink& m_link;
    CountingLock& m_lock;
    DWORD m_thread;
    std::atomic<bool> m_done{false};
    static inline std::atomic<int> m_shots{0};
    std::thread m_worker;
};

class ErrorProcessing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        platform::SetResourceModule(::GetModuleHandleA(nullptr));
        platform::SetLanguageModule(::LoadLibraryA((WinePath(LUMEN_BIN_DIR) + "\\NxLang.dll").c_str()));
        ASSERT_NE(platform::LanguageModule(), nullptr);
        static EmulatorBus bus;
        bus.library = ::LoadLibraryA((WinePath(LUMEN_EMU_BUS_DIR) + "\\Nxjbus.dll").c_str());
        ASSERT_NE(bus.library, nullptr);
        auto get = [&](const char* name) {
            return reinterpret_cast<void*>(::GetProcAddress(bus.library, name));
        };
        bus.real.open = reinterpret_cast<decltype(bus.real.open)>(get("JbusOpen"));
        bus.real.close = reinterpret_cast<decltype(bus.real.close)>(get("JbusClose"));
        bus.real.readSeveralWords =
            reinterpret_cast<decltype(bus.real.readSeveralWords)>(get("JbusReadSeveralWords"));
        bus.real.writeOneWord = reinterpret_cast<decltype(bus.real.writeOneWord)>(get("JbusWriteOneWord"));
        bus.real.writeSeveralWords =
            reinterpret_cast<decltype(bus.real.writeSeveralWords)>(get("JbusWriteSeveralWords"));
        bus.control = reinterpret_cast<ControlFn>(get("EmuControl"));
        ASSERT_NE(bus.control, nullptr);
        g_bus = &bus;
    }

    void SetUp() override {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        const std::string base = std::string(temp) + "errproc-" + std::to_string(::GetCurrentProcessId()) +
                                 "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        logPath = base + ".csv";
        restorePath = base + ".dat";
        ::DeleteFileA(logPath.c_str());
        ::DeleteFileA(restorePath.c_str());
        unitlink::BusApi api = g_bus->real;
        api.writeOneWord = &RecordOne;
        api.writeSeveralWords = &RecordSeveral;
        link = std::make_unique<unitlink::UnitLink>(lock, api, latch, [](unsigned) {});
        {
            support::LockGuard guard(lock);
            ASSERT_TRUE(link->Create(std::stoi(Status("protocol"))).Open("COM1", 19200));
        }
        Unit("error 0");
        Unit("technical off");
        Unit("panel on");
        ClearWrites();
    }
    void TearDown() override {
        link.reset();
        ::DeleteFileA(logPath.c_str());
        ::DeleteFileA(restorePath.c_str());
    }

    void Unit(const char* line) { ASSERT_EQ(g_bus->control(line, nullptr, 0), 0) << line; }
    std::string Status(const char* key) {
        char reply[1024] = {};
        g_bus->control("status", reply, sizeof reply);
        const std::string text = std::string(" ") + reply;
        const size_t at = text.find(std::string(" ") + key + "=");
        if (at == std::string::npos)
            return "?";
        const size_t start = at + std::strlen(key) + 2;
        return text.substr(start, text.find(' ', start) - start);
    }
    void ClearWrites() {
        std::lock_guard guard(g_bus->mutex);
        g_bus->writes.clear();
    }
    std::vector<Write> Writes() {
        std::lock_guard guard(g_bus->mutex);
        return g_bus->writes;
    }
    std::vector<uint16_t> Commands() {
        std::vector<uint16_t> words;
        for (const Write& w : Writes())
            if (w.address == kCommandRegister)
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
        std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(content.substr(start, end - start));
        return lines;
    }

    // Runs the processing of code with the watcher answering steps; returns what it saw.
    std::vector<Seen> Process(int32_t code, std::vector<Step> steps, TestPanel& panel) {
        latch.Clear();
        latch.RecordError(code);
        support::UnitErrorServices services{latch,
                                            log,
                                            *link,
                                            files,
                                            restorePath,
                                            [this] { return technicalAccess; },
                                            [this] { ++shotRefreshes; },
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

    CountingLock lock;
    unitlink::ErrorLatch latch;
    std::unique_ptr<unitlink::UnitLink> link;
    CountingLock logLock;
    std::string logPath, restorePath;
    support::EventLog log{logLock, [this] { return logPath; }, [] { return support::LogTime{}; }};
    unitlink::StdRestoreFileStore files;
    support::RepeatedErrorFilter repeats;
    bool technicalAccess = false;
    int shotRefreshes = 0;
    uint64_t nowMs = 0;
    unsigned waitedMs = 0;
};

constexpr char kDegree[] = "\xB0";

TEST_F(ErrorProcessing, CommonStepsLogShowAndSpeakOnceWithoutABox) {
    struct Row {
        int32_t code;
        std::vector<UINT> messages;
        std::vector<std::string> codes;
    };
    const Row rows[] = {{30, {4425}, {"E30"}}, {106, {}, {}}, {150, {}, {}}, {-7, {}, {}}};
    for (const Row& row : rows) {
        TestPanel panel(*link);
        EXPECT_TRUE(Process(row.code, {}, panel).empty());
        EXPECT_EQ(panel.messages, row.messages) << row.code;
        EXPECT_EQ(panel.codes, row.codes) << row.code;
        EXPECT_EQ(panel.prompts, std::vector<UINT>{4035}) << row.code;
        EXPECT_FALSE(panel.closed.has_value()) << row.code;
    }
    EXPECT_EQ(shotRefreshes, 4);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[3].find(std::string("Error n") + kDegree + "30;"), std::string::npos) << lines[3];
    EXPECT_NE(lines[3].find(";CLumen70App::ProcessError:715"), std::string::npos) << lines[3];
    EXPECT_NE(lines[0].find(std::string("Error n") + kDegree + "-07;"), std::string::npos) << lines[0];
    EXPECT_TRUE(Commands().empty());

    // The same code latched again by the next polls is not logged or spoken again.
    TestPanel again(*link);
    nowMs -= 10000 - 200;
    Process(-7, {}, again);
    EXPECT_TRUE(again.prompts.empty());
    EXPECT_EQ(LogLines().size(), 4u);
}

TEST_F(ErrorProcessing, UnitFaultBoxRetriesWithTheRightCommandOrClosesThePanel) {
    struct Row {
        int32_t code;
        bool technical;
        int press;
        std::vector<uint16_t> commands;
        std::optional<int> closed;
    };
    const Row rows[] = {
        {2, false, IDRETRY, {0x0080}, {}}, {2, true, IDRETRY, {0x000B}, {}},
        {59, true, IDRETRY, {0x0080}, {}}, {61, false, IDRETRY, {0x000B}, {}},
        {13, false, IDCANCEL, {}, 0},
    };
    for (const Row& row : rows) {
        technicalAccess = row.technical;
        Unit(row.technical ? "technical on" : "technical off");
        const std::string error = "error " + std::to_string(row.code);
        Unit(error.c_str());
        PollUnitError();
        ClearWrites();
        TestPanel panel(*link);
        const auto seen = Process(row.code, {{true, row.press}}, panel);
        ASSERT_EQ(seen.size(), 1u) << row.code;
        EXPECT_EQ(seen[0].caption, std::string("Error n") + kDegree + std::to_string(row.code));
        EXPECT_EQ(seen[0].text, Text(4264 + row.code) + "\n\n\n" + Text(4161));
        EXPECT_EQ(seen[0].lockDepth, 0) << "the link lock is free while the box is open";
        EXPECT_EQ(panel.messages, std::vector<UINT>{static_cast<UINT>(4365 + 2 * row.code)});
        EXPECT_EQ(panel.prompts, std::vector<UINT>{4035});
        EXPECT_EQ(Commands(), row.commands) << row.code;
        EXPECT_EQ(panel.closed, row.closed) << row.code;
        EXPECT_EQ(Status("error"), row.press == IDRETRY ? "0" : std::to_string(row.code)) << row.code;
        Unit("error 0");
    }
}

TEST_F(ErrorProcessing, CommunicationFailureClosesTheBusBeforeTheBoxThenThePanel) {
    TestPanel panel(*link);
    const auto seen = Process(112, {{true, IDOK}}, panel);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, std::string("Error n") + kDegree + "112");
    EXPECT_EQ(seen[0].text, Text(4202));
    EXPECT_EQ(seen[0].busHandle, -1) << "the bus was closed before the box";
    EXPECT_EQ(panel.closed, 0);
    EXPECT_TRUE(panel.messages.empty());
    EXPECT_EQ(panel.prompts, std::vector<UINT>{4035});
}

TEST_F(ErrorProcessing, SecurityTimeOutAndAcquisitionFailureTellTheUnitThenClose) {
    for (int32_t code : {201, 202}) {
        Unit("panel on");
        TestPanel panel(*link);
        const auto seen = Process(code, {{true, IDOK}}, panel);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].caption, std::string("Error n") + kDegree + std::to_string(code));
        EXPECT_EQ(seen[0].text, code == 201 ? Text(4201) : "");
        EXPECT_EQ(panel.commands, std::vector<uint8_t>{0x86});
        EXPECT_EQ(Status("panel"), "0");
        EXPECT_EQ(panel.closed, 1);
    }
}

TEST_F(ErrorProcessing, SetPointDialogsAcknowledgeOnOkAndCheckTheSelection) {
    struct Row {
        int32_t code;
        const char* acquisition; // the NOX command of the selected panoramic program
        int press;
        std::vector<uint16_t> commands;
        std::optional<int> closed;
        int refreshes;
    };
    const Row rows[] = {
        {1, "command 0x0107", IDOK, {0x000B}, 0, 0},
        {1, "command 0x0007", IDOK, {0x000B}, {}, 0},
        {1, "command 0x0107", IDCANCEL, {}, 0, 0},
        {55, "command 0x0107", IDOK, {0x000B}, {}, 1},
    };
    for (const Row& row : rows) {
        Unit("command 0x1004");
        Unit(row.acquisition);
        ClearWrites();
        TestPanel panel(*link);
        const auto seen = Process(row.code, {{false, row.press}}, panel);
        ASSERT_EQ(seen.size(), 1u);
        const bool table = row.code == 55;
        EXPECT_EQ(seen[0].caption, std::string("Error n") + kDegree + std::to_string(row.code));
        EXPECT_EQ(seen[0].items.at(IDC_INFO), Text(table ? 4319 : 4139));
        EXPECT_EQ(seen[0].items.at(IDC_INFO_GENERAL), Text(table ? 4144 : 4140));
        EXPECT_EQ(seen[0].items.at(IDC_QUESTION), Text(table ? 4145 : 4161));
        EXPECT_EQ(seen[0].items.at(IDOK), Text(4675));
        EXPECT_EQ(seen[0].lockDepth, 0);
        EXPECT_EQ(panel.prompts, std::vector<UINT>{static_cast<UINT>(table ? 4035 : 4020)});
        EXPECT_EQ(Commands(), row.commands);
        EXPECT_EQ(panel.closed, row.closed) << row.code << " " << row.acquisition;
        EXPECT_EQ(panel.refreshes, row.refreshes);
    }
}

// A restore file from the unit's own blocks, as the panel keeps it.
TEST_F(ErrorProcessing, BlockDialogRestoresTheBlockFromTheFileThenTellsTheUnit) {
    ASSERT_EQ(unitlink::SaveRestoreFile(link->Get(), lock, files, restorePath),
              unitlink::RestoreSaveResult::Saved);
    std::ifstream in(restorePath, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(file.size(), 182u);
    Unit("corrupt cal");
    PollUnitError();
    ASSERT_EQ(latch.GetLatchedError(), 54);
    ClearWrites();

    TestPanel panel(*link);
    const auto seen = Process(54, {{false, IDC_RESTAURER}}, panel);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, std::string("Error n") + kDegree + "54");
    EXPECT_EQ(seen[0].items.at(IDC_INFO), Text(4318));
    EXPECT_EQ(seen[0].items.at(IDC_INFO_GENERAL), Text(4161));
    EXPECT_EQ(seen[0].items.at(IDC_RESTAURER), Text(4680));
    EXPECT_EQ(seen[0].items.at(IDC_REESSAYER), Text(4685));
    EXPECT_EQ(seen[0].items.at(IDC_QUITTER), Text(4677));
    EXPECT_FALSE(seen[0].reinitVisible) << "no technical access";
    const auto writes = Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].address, Reg(162));
    ASSERT_EQ(writes[0].words.size(), 40u);
    for (size_t i = 0; i < 40; ++i)
        ASSERT_EQ(writes[0].words[i], file[62 + 2 * i] | file[63 + 2 * i] << 8) << "word " << i;
    EXPECT_EQ(Commands(), (std::vector<uint16_t>{0x0181, 0x010B}));
    EXPECT_EQ(Status("error"), "0") << "the unit took the restored table";
    EXPECT_FALSE(panel.closed.has_value());
}

TEST_F(ErrorProcessing, BlockDialogRetryQuitEscapeAndAShortFile) {
    struct Row {
        int32_t code;
        int press;
        size_t fileBytes;
        std::vector<uint16_t> commands;
        std::optional<int> closed;
    };
    const Row rows[] = {
        {56, IDC_REESSAYER, 0, {0x0080}, {}},
        {56, IDC_QUITTER, 0, {}, 1},
        {57, IDCANCEL, 0, {}, 1},
        // 100 bytes end inside the preferences (142..181): the block is not written, the unit is told.
        {57, IDC_RESTAURER, 100, {0x0481, 0x040B}, {}},
    };
    for (const Row& row : rows) {
        ::DeleteFileA(restorePath.c_str());
        if (row.fileBytes)
            std::ofstream(restorePath, std::ios::binary) << std::string(row.fileBytes, '\x5A');
        ClearWrites();
        waitedMs = 0;
        TestPanel panel(*link);
        const auto seen = Process(row.code, {{false, row.press}}, panel);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].items.at(IDC_INFO), Text(row.code == 56 ? 4320 : 4321));
        EXPECT_EQ(Commands(), row.commands) << row.press;
        EXPECT_EQ(Writes().size(), row.commands.size()) << "no block write";
        EXPECT_EQ(panel.closed, row.closed) << row.press;
        EXPECT_EQ(waitedMs, row.press == IDC_REESSAYER ? 2000u : 0u);
    }
    EXPECT_NE(LogLines().front().find("Restore file too short"), std::string::npos);
}

TEST_F(ErrorProcessing, BlockDialogReinitAsksFirstAndOnlyForTheTechnician) {
    technicalAccess = true;
    Unit("technical on");
    TestPanel panel(*link);
    const auto seen =
        Process(56, {{false, IDC_REINIT}, {true, IDNO}, {false, IDC_REINIT}, {true, IDYES}}, panel);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_TRUE(seen[0].reinitVisible);
    EXPECT_EQ(seen[0].items.at(IDC_REINIT), Text(4684));
    EXPECT_EQ(seen[1].caption, "");
    EXPECT_EQ(seen[1].text, Text(4135));
    EXPECT_EQ(seen[1].lockDepth, 0);
    EXPECT_EQ(Commands(), (std::vector<uint16_t>{0x0082, 0x000B}));
    EXPECT_FALSE(panel.closed.has_value());
}

TEST_F(ErrorProcessing, DetailsDialogShowsTheUnitInformationFileReadOnly) {
    const std::string infoPath = restorePath + ".ini";
    std::ofstream(infoPath, std::ios::binary) << "[Unit]\nSerial=1234\r\nVersion=2.10\n";
    for (const bool present : {true, false}) {
        if (!present)
            ::DeleteFileA(infoPath.c_str());
        TestPanel panel(*link);
        Watcher watcher({{false, IDOK}}, *link, lock);
        CDetailsDialog dialog(panel.PanelWindow(), infoPath);
        EXPECT_EQ(dialog.DoModal(), IDOK);
        watcher.Stop();
        ASSERT_EQ(watcher.seen.size(), 1u);
        EXPECT_EQ(watcher.seen[0].caption, Text(4149));
        EXPECT_EQ(watcher.seen[0].items.at(IDOK), Text(4675));
        EXPECT_EQ(watcher.seen[0].items.at(IDC_DETAILS_TEXT),
                  present ? "[Unit]\r\nSerial=1234\r\nVersion=2.10\r\n" : "");
    }
}

} // namespace
