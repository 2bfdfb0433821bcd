// The live panel seen from outside, as the host and the unit see it: the module started through
// StartDialog with the emulator's bus library beside it, the unit driven and read through its control
// lines, each poll observed at the module's bus import (the state-word read that opens every poll).
#include "PanelHarness.h"

namespace {

TEST_F(LivePanel, StartUpAlignsTheUnitWithTheModeAndWritesTheRestoreFile) {
    const std::string restore = CommonFile("restoreHalvexPan.dat");
    ::DeleteFileA(restore.c_str());
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    const struct {
        const char* unitProgram;
        uint32_t startPgm;
        unsigned char mode;
        const char* expected;
    } cases[] = {
        {"command 0x0304", 0, 1, "0x70"},         // a cephalometric view in panoramic work: all segments
        {"command 0x7004", 0, 0, "0x03"},         // a panoramic program in cephalometric work: a view
        {"command 0x2104", 0, 1, "0x11"},         // TMJ variant 2 becomes the four-image TMJ
        {"command 0x1004", 0, 1, "0x10"},         // a panoramic program stays in panoramic work
        {"command 0x0304", 0x1000000, 1, "0x0D"}, // a forced service program (version-3 units only)
    };
    for (const auto& c : cases) {
        if (c.startPgm) {
            module.reset();
            ASSERT_NO_FATAL_FAILURE(Load("3.05", "_v3"));
        }
        // Each panel closes the bus when it ends: the host opens it again, as it must.
        ASSERT_EQ(module->Get<harness::OpenCommPortFn>("OpenCommPort")(), 15);
        Unit(c.unitProgram);
        if (c.startPgm)
            harness::SetStartPgm(c.startPgm);
        else
            harness::ClearStartPgm();
        Start(c.mode);
        EXPECT_TRUE(StatusBecomes("program", c.expected))
            << c.unitProgram << " mode " << int{c.mode} << ": " << Status("program");
        Close();
        ASSERT_FALSE(::IsWindow(panel));
    }
    harness::ClearStartPgm();

    HANDLE file =
        ::CreateFileA(restore.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "written at the first start-up";
    EXPECT_EQ(::GetFileSize(file, nullptr), 182u);
    ::CloseHandle(file);
}

// A lasting condition is handled when it begins, not at every poll that still sees it.
TEST_F(LivePanel, LastingConditionsAreLoggedOncePerOccurrence) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(Polls(1));
    const std::string access = "Access to the technical menu";
    const struct {
        const char* line;
        std::string logged;
        size_t lines;
    } steps[] = {
        {"technical on", access, 1},     {"technical off", access, 1},
        {"technical on", access, 2},     {"error 30", ErrorEntry(30), 1},
        {"error 31", ErrorEntry(31), 1}, // another error straight after is its own occurrence
        {"error 0", ErrorEntry(30), 1},  {"error 30", ErrorEntry(30), 2}, // back after it cleared
        {"error 0", ErrorEntry(30), 2},
    };
    for (const auto& step : steps) {
        Unit(step.line);
        ASSERT_TRUE(WaitFor([&] { return LogLinesWith(step.logged) >= step.lines; }, 20000)) << step.line;
        ASSERT_TRUE(Polls(3));
        EXPECT_EQ(LogLinesWith(step.logged), step.lines) << step.line << ": once while it lasts";
    }
}

TEST_F(LivePanel, VoiceSwitchIsStoredAsANumber) {
    SetModuleValue("WithVocal", REG_SZ, "sentinel", 9);
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    HWND voice = ::GetDlgItem(panel, 1000);
    ASSERT_NE(voice, nullptr);
    auto stored = [] {
        DWORD type = 0, value = 0xDEADBEEF, size = sizeof value;
        HKEY key = nullptr;
        ::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO\\LUMEN70", 0, KEY_READ, &key);
        const LONG read =
            ::RegQueryValueExA(key, "WithVocal", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        ::RegCloseKey(key);
        EXPECT_EQ(read, ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(size, 4u);
        return value;
    };
    // A press as the mouse makes it: the key flips when its pressed picture is drawn, before the
    // release notifies the panel.
    auto press = [voice] {
        ::SendMessageA(voice, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        ::UpdateWindow(voice);
        ::SendMessageA(voice, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    };
    // The switch flips at each click, and the setting with it; a hidden key draws nothing.
    ASSERT_TRUE(WaitFor([voice] { return ::IsWindowVisible(voice) != FALSE; }, 20000));
    press();
    const DWORD first = stored();
    press();
    EXPECT_LE(first, 1u);
    EXPECT_EQ(first + stored(), 1u);
}

TEST_F(LivePanel, SilentUnitEndsThePanelThroughTheCommunicationFailure) {
    harness::DeleteLog();
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(Polls(1));
    const size_t before = Notified().size();
    Unit("fault noanswer 1000000");
    // Until it is gone, the panel's window answers within a second: the box is modal, never a hang.
    const DWORD start = ::GetTickCount();
    while (::IsWindow(panel) && ::GetTickCount() - start < 10000) {
        DWORD_PTR result = 0;
        EXPECT_TRUE(::SendMessageTimeoutA(panel, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) != 0 ||
                    !::IsWindow(panel));
        ::Sleep(50);
    }
    EXPECT_FALSE(::IsWindow(panel)) << "a communication failure closes the panel";
    EXPECT_GE(LogLinesWith(ErrorEntry(112)), 1u) << "the silence reached the error processing";
    ASSERT_TRUE(WaitFor([&] { return Notified().size() >= before + 2; }, 20000));
    const std::vector<int32_t> all = Notified();
    EXPECT_EQ(std::vector<int32_t>(all.begin() + static_cast<long>(before), all.end()),
              (std::vector<int32_t>{1, 3}));
    Unit("fault none");
}

TEST_F(LivePanel, ForegroundHandshakeTellsTheUnitOnTransitionsOnly) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(StatusBecomes("panel", "1"));

    HWND other = ::CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                   nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
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

TEST_F(LivePanel, ClosedLinkAtStartUpLeavesNoStaleFailure) {
    harness::DeleteLog();
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    Close();      // the end of a panel closes the bus
    Start(1);     // a host that starts the panel again without opening the link
    ::Sleep(600); // three polling periods with the link closed: nothing to observe but their absence
    Close();
    ASSERT_EQ(module->Get<harness::OpenCommPortFn>("OpenCommPort")(), 15);
    Start(1);
    ASSERT_TRUE(Polls(3));
    EXPECT_EQ(LogLinesWith(ErrorEntry(114)), 0u) << "nothing was latched while the link was closed";
}

TEST_F(LivePanel, PollingKeepsItsPeriod) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(Polls(2));
    DWORD measureMs = 10000;
    if (const char* env = std::getenv("LUMEN_POLL_MEASURE_MS"))
        measureMs = static_cast<DWORD>(std::atoi(env));
    // The panel's own thread: the test's threads (the box watcher among them) are not counted.
    HANDLE gui = ::OpenThread(THREAD_QUERY_INFORMATION, FALSE, ::GetWindowThreadProcessId(panel, nullptr));
    ASSERT_NE(gui, nullptr);
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    ::GetThreadTimes(gui, &created, &exited, &kernel0, &user0);
    size_t first = 0;
    {
        std::lock_guard lock(g_pollMutex);
        first = g_pollTimesMs.size();
    }
    const double t0 = NowMs();
    ::Sleep(measureMs);
    const double elapsed = NowMs() - t0;
    ::GetThreadTimes(gui, &created, &exited, &kernel1, &user1);
    ::CloseHandle(gui);
    std::vector<double> times;
    {
        std::lock_guard lock(g_pollMutex);
        times.assign(g_pollTimesMs.begin() + static_cast<long>(first), g_pollTimesMs.end());
    }
    ASSERT_GE(times.size(), 3u);
    double worst = 0, sum = 0;
    for (size_t i = 1; i < times.size(); ++i) {
        const double d = times[i] - times[i - 1];
        sum += d;
        worst = std::max(worst, d);
    }
    const double mean = sum / static_cast<double>(times.size() - 1);
    auto ticks = [](const FILETIME& f) {
        return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    const double cpuMs =
        static_cast<double>(ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 1e4;
    std::printf(
        "poll interval over %.0f ms: %zu polls, mean %.1f ms, worst %.1f ms; panel thread CPU %.2f %%\n",
        elapsed, times.size(), mean, worst, 100.0 * cpuMs / elapsed);
    EXPECT_GE(mean, 190.0);
    EXPECT_LE(mean, 260.0);
    EXPECT_LT(worst, 1000.0);
}

} // namespace
