// The live panel seen from outside, as the host and the unit see it: the module started through
// StartDialog with the emulator's bus library beside it, each poll observed at the module's bus import.
#include "PanelHarness.h"

#include <future>

namespace {

// The start-up alignment's table is tested natively; here it reaches the unit, a forced service program
// with it.
TEST_F(LivePanel, StartUpAlignsTheUnitWithTheMode) {
    const struct {
        const char* version;
        const char* unitProgram;
        uint32_t startPgm;
        unsigned char mode;
        const char* expected;
    } cases[] = {
        {"2.10", "command 0x0304", 0, 1, "0x70"},         // a cephalometric view in panoramic work
        {"2.10", "command 0x7004", 0, 0, "0x03"},         // a panoramic program in cephalometric work
        {"3.05", "command 0x0304", 0x1000000, 1, "0x0D"}, // a forced service program (version-3 units)
    };
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Load(c.version, c.startPgm ? "_v3" : c.mode ? "_pano" : "_ceph"));
        Unit(c.unitProgram);
        c.startPgm ? harness::SetStartPgm(c.startPgm) : harness::ClearStartPgm();
        Start(c.mode);
        EXPECT_TRUE(StatusBecomes("program", c.expected)) << c.unitProgram << ": " << Status("program");
        Unload();
    }
    harness::ClearStartPgm();
}

TEST_F(LivePanel, ForegroundHandshakeTellsTheUnitOnTransitionsOnly) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(StatusBecomes("panel", "1"));
    HWND other = ::CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                   nullptr, nullptr, nullptr);
    ::SetForegroundWindow(other);
    ASSERT_TRUE(StatusBecomes("panel", "0")) << "0x0086 when another window comes in front";
    const size_t polls = PollCount();
    ::Sleep(1000); // five polling periods in the background
    EXPECT_EQ(PollCount(), polls) << "no polling while in the background";
    ::SetForegroundWindow(panel);
    ASSERT_TRUE(StatusBecomes("panel", "1")) << "0x0085 when the panel comes back";
    EXPECT_TRUE(Polls(2));
    ::DestroyWindow(other);
}

// The unit's error dialogs answered on the live panel (the kinds, retry words and block write-back are
// tabled natively): a set point acknowledged, a block restored from the file the start-up wrote (so
// it was written), and a block error quit, which ends the panel.
TEST_F(LivePanel, ErrorDialogsActOnTheOperatorsAnswer) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Unit("command 0x1004");
    Unit("command 0x0007"); // a program that may stay selected after a set-point error
    Start(1);
    const struct {
        const char* line;
        int button;
        uint16_t word; // sent to the unit; none: the panel ends
    } rows[] = {
        {"error 1", IDOK, 0x000B}, {"corrupt cal", 1012 /* restore */, 0x0181}, {"corrupt prefs", 1014, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        ASSERT_TRUE(Polls(1));
        TakeCommands();
        Unit(row.line);
        HWND dialog = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            dialog = ::FindWindowExA(nullptr, nullptr, "#32770", nullptr);
            while (dialog && (::GetWindow(dialog, GW_OWNER) != panel || !::IsWindowVisible(dialog) ||
                              !::GetDlgItem(dialog, row.button) || ::GetDlgItem(dialog, 0xFFFF)))
                dialog = ::FindWindowExA(nullptr, dialog, "#32770", nullptr);
            return dialog != nullptr;
        }));
        // The box is shown with the link lock free: a host asking for the shot record meanwhile is
        // answered, not held until the operator answers.
        auto record = std::async(std::launch::async, [this] {
            unsigned char bytes[293] = {};
            module->Get<void (*)(void*)>("GetInfosTir")(bytes);
        });
        EXPECT_EQ(record.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(row.button, BN_CLICKED), 0);
        if (!row.word) {
            EXPECT_TRUE(WaitFor([&] { return !::IsWindow(panel) && Notified().size() >= 2; }));
            EXPECT_EQ(Notified(), (std::vector<int32_t>{1, 3}));
            break;
        }
        EXPECT_TRUE(StatusBecomes("error", "0"));
        EXPECT_EQ(Sent(row.word), 1u);
        EXPECT_TRUE(::IsWindow(panel));
    }
}

// Figures quoted in the README (LUMEN_POLL_MEASURE_MS=60000): the poll period and the GUI thread's CPU.
TEST_F(LivePanel, PollingKeepsItsPeriod) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(Polls(2));
    const char* env = std::getenv("LUMEN_POLL_MEASURE_MS");
    const DWORD measureMs = env ? static_cast<DWORD>(std::atoi(env)) : 10000;
    // The panel's own thread: the test's threads (the box watcher among them) are not counted.
    HANDLE gui = ::OpenThread(THREAD_QUERY_INFORMATION, FALSE, ::GetWindowThreadProcessId(panel, nullptr));
    ASSERT_NE(gui, nullptr);
    auto cpuMs = [gui] {
        FILETIME unused, kernel, user;
        ::GetThreadTimes(gui, &unused, &unused, &kernel, &user);
        return (ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
                ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart) /
               1e4;
    };
    const double cpu0 = cpuMs();
    const size_t first = PollCount();
    const double t0 = NowMs();
    ::Sleep(measureMs);
    const double elapsed = NowMs() - t0;
    const double cpu = cpuMs() - cpu0;
    ::CloseHandle(gui);
    std::vector<double> times;
    {
        std::lock_guard lock(g_pollMutex);
        times.assign(g_pollTimesMs.begin() + static_cast<long>(first), g_pollTimesMs.end());
    }
    ASSERT_GE(times.size(), 3u);
    double worst = 0;
    for (size_t i = 1; i < times.size(); ++i)
        worst = std::max(worst, times[i] - times[i - 1]);
    const double mean = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
    std::printf(
        "poll interval over %.0f ms: %zu polls, mean %.1f ms, worst %.1f ms; panel thread CPU %.2f %%\n",
        elapsed, times.size(), mean, worst, 100.0 * cpu / elapsed);
    EXPECT_GE(mean, 190.0);
    EXPECT_LE(mean, 260.0);
    EXPECT_LT(worst, 1000.0);
}

} // namespace
