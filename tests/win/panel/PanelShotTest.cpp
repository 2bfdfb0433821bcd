// A whole exposure seen from outside: the unit driven through the emulator's control line, the host's
// notifications, preview and end messages, the unit's display registers and the event log.
#include "PanelHarness.h"

namespace {

constexpr UINT kMsgPreview = 0x65A;
constexpr UINT kMsgEnd = 0x65B;

std::string Trimmed(std::string text) {
    return text.erase(text.find_last_not_of(' ') + 1);
}

// A packed 8-bit bitmap of w x h with its 256-entry table, in a movable block as a host builds its preview.
HGLOBAL GreyPreview(int w, int h) {
    const size_t stride = static_cast<size_t>((w + 3) / 4 * 4);
    HGLOBAL block =
        ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(BITMAPINFOHEADER) + 1024 + stride * h);
    *static_cast<BITMAPINFOHEADER*>(::GlobalLock(block)) = {
        sizeof(BITMAPINFOHEADER), w, h, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    ::GlobalUnlock(block);
    return block;
}

using PanelShot = LivePanel;

// One notification per cycle, the mirror flag and the machine's Rotation already refreshed from the
// unit when it comes; none when the unit acquires nothing.
TEST_F(PanelShot, CycleStartTellsTheHostOnceAfterTheMirrorFlagOrNotAtAllWithoutAnImage) {
    const struct {
        const char* version;
        const char* setUp;
        size_t starts, errors202;
        const char* rotation; // the machine's setting at the notification
    } cases[] = {
        {"2.10", "rotation 0", 1, 0, "0"},
        {"2.10", "rotation 1", 1, 0, "1"},
        {"2.10", "acquisition fail", 0, 1, ""}, // design 2: the unit reports a failed acquisition
        {"1.02", "command 0x0007", 0, 0, ""},   // design 1 with image acquisition off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setUp);
        harness::DeleteLog();
        ASSERT_NO_FATAL_FAILURE(Load(c.version, c.setUp + std::strlen(c.setUp) - 1));
        Unit("speed 4");
        Unit(c.setUp);
        auto mirror = module->Get<bool (*)()>("bHaveToMirror");
        std::atomic<int> seenMirror{-1};
        std::string seenRotation;
        SetHook([&](int32_t event) {
            if (event != 0)
                return;
            seenMirror = mirror() ? 1 : 0;
            char value[16] = {};
            DWORD size = sizeof value;
            ::RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Classes\\HALVEX\\PANO", "Rotation", RRF_RT_REG_SZ,
                           nullptr, value, &size);
            seenRotation = value;
        });
        Start(1);
        ASSERT_NO_FATAL_FAILURE(Expose());
        bool emitted = false;
        WaitFor(
            [&] {
                emitted = emitted || Status("emission") == "1";
                return emitted && Status("cycle") == "0" && Status("emission") == "0" &&
                       CycleStarts() >= c.starts;
            },
            30000);
        ASSERT_TRUE(emitted) << "the exposure itself goes on";
        ASSERT_TRUE(StatusBecomes("cycle", "0", 30000));
        ::Sleep(600); // three more polls at cycle state 0
        EXPECT_EQ(CycleStarts(), c.starts);
        EXPECT_EQ(LogLinesWith(ErrorEntry(202)), c.errors202);
        if (c.starts) {
            EXPECT_EQ(seenMirror.load(), c.rotation[0] == '0' ? 1 : 0) << "mirror flag refreshed first";
            EXPECT_EQ(seenRotation, c.rotation);
        }
        SetHook(nullptr);
        Unload();
    }
}

// Conditions 0x000C (sensor not ready, tube cooling) in turn, then the user text with accented and caret
// characters as the host's code page holds them, in the bytes of the unit's display table.
TEST_F(PanelShot, RotationShowsEachConditionThenTheUserText) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Unit("conditions 0x000C");
    Start(1, "Ren\xE9"
             "e ^ Dupont");
    std::vector<std::pair<std::string, std::string>> shown; // unit text, code
    WaitFor(
        [&] {
            const std::string text = Trimmed(StatusText("unit_text"));
            if (!text.empty() && (shown.empty() || shown.back().first != text))
                shown.emplace_back(text, "");
            // The code is written after the text: the one an entry settles on is the one shown.
            if (!shown.empty())
                shown.back().second = StatusText("display");
            return shown.size() >= 5;
        },
        30000);
    shown.resize(std::min<size_t>(shown.size(), 4));
    EXPECT_EQ(shown,
              (std::vector<std::pair<std::string, std::string>>{{"The image sensor is not ready", "I03"},
                                                                {"Tube cooling, please wait", "I06"},
                                                                {"Ren\x82"
                                                                 "e N Dupont",
                                                                 "   "},
                                                                {"The image sensor is not ready", "I03"}}));
}

// The security timer runs from the emission for a positive setting only; a preview in time stops it for
// the emission (the polls never re-arm it), and its time-out ends the panel and tells the unit so.
TEST_F(PanelShot, SecurityTimerNeedsAPreviewInTime) {
    const struct {
        int32_t timeOut;
        bool preview, timedOut;
    } cases[] = {{-1, false, false}, {1500, false, true}, {1500, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.timeOut << (c.preview ? " with a preview" : ""));
        harness::DeleteLog();
        SetModuleValue("SecurityTimeOut", REG_DWORD, &c.timeOut, sizeof c.timeOut);
        ASSERT_NO_FATAL_FAILURE(Load("2.10", c.timeOut < 0 ? "_off" : c.preview ? "_preview" : "_none"));
        Unit("speed 4");
        Start(1);
        ASSERT_NO_FATAL_FAILURE(Expose());
        ASSERT_TRUE(WaitFor([] { return !Notified().empty(); }));
        if (c.preview) {
            HGLOBAL block = GreyPreview(64, 32);
            ::SendMessageA(panel, kMsgPreview, reinterpret_cast<WPARAM>(block), 0);
            ::GlobalFree(block);
        }
        ASSERT_TRUE(StatusBecomes("cycle", "0", 30000));
        ::Sleep(600);
        if (c.timedOut) {
            EXPECT_TRUE(WaitFor([&] { return LogLinesWith(ErrorEntry(201)) >= 1; }));
            EXPECT_TRUE(WaitFor([&] { return !::IsWindow(panel); }));
            EXPECT_EQ(Status("panel"), "0") << "the unit is told the panel left";
        } else {
            EXPECT_EQ(LogLinesWith(ErrorEntry(201)), 0u);
        }
        Unload();
    }
    SetModuleValue("SecurityTimeOut", 0, nullptr, 0);
}

// The host's end message waits out the cephalometric transfer, and ends the panel even during a cycle,
// when the close key is ignored.
TEST_F(PanelShot, EndMessageWaitsForTheCephalometricTransferAndEndsEvenACycle) {
    const struct {
        unsigned char mode;
        bool inCycle;
        DWORD leastMs, mostMs;
    } cases[] = {{0, false, 4990, 60000}, {1, false, 0, 3000}, {1, true, 0, 60000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << int{c.mode} << (c.inCycle ? " in a cycle" : ""));
        ASSERT_NO_FATAL_FAILURE(Load("2.10", c.inCycle ? "_cycle" : c.mode ? "_pano" : "_ceph"));
        Start(c.mode);
        ASSERT_TRUE(Polls(1)); // start-up done: only the end message's own wait is timed
        if (c.inCycle) {
            Unit("cycle 2");
            ::Sleep(600); // the cycle seen by the polls: close requests are now ignored
            ::SendMessageA(panel, WM_COMMAND, IDCANCEL, 0);
            ASSERT_TRUE(::IsWindow(panel));
        }
        const DWORD start = ::GetTickCount();
        EXPECT_EQ(::SendMessageA(panel, kMsgEnd, 0, 0), 0);
        const DWORD elapsed = ::GetTickCount() - start;
        EXPECT_GE(elapsed, c.leastMs);
        EXPECT_LT(elapsed, c.mostMs);
        EXPECT_TRUE(WaitFor([&] { return !::IsWindow(panel); }));
        EXPECT_TRUE(WaitFor([] { return Notified().size() >= 2 && Notified().back() == 3; }));
        const std::vector<int32_t> events = Notified();
        EXPECT_EQ(std::vector<int32_t>(events.end() - 2, events.end()), (std::vector<int32_t>{1, 3}));
        Unit("cycle 0");
        module.reset();
        ForgetNotifications();
    }
}

// The refusal rules are tabled natively and fuzzed; here the block stays the sender's whatever came,
// a handle that is no block is survived, each good preview replaces the last, and a late one is ignored.
TEST_F(PanelShot, MalformedPreviewBlocksAreRefusedAndTheSendersBlockStaysItsOwn) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    auto send = [&](HGLOBAL block) {
        DWORD_PTR result = 1;
        EXPECT_NE(::SendMessageTimeoutA(panel, kMsgPreview, reinterpret_cast<WPARAM>(block), 0, SMTO_NORMAL,
                                        5000, &result),
                  0);
        EXPECT_EQ(result, 0u);
    };
    HGLOBAL lying = GreyPreview(40, 20); // a height beyond the block
    static_cast<BITMAPINFOHEADER*>(::GlobalLock(lying))->biHeight = 4000;
    ::GlobalUnlock(lying);
    const SIZE_T size = ::GlobalSize(lying);
    send(lying);
    EXPECT_EQ(::GlobalSize(lying), size) << "the block is still the sender's";
    EXPECT_EQ(::GlobalFree(lying), nullptr);
    send(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(0xDEAD0000))); // not a block at all
    send(nullptr);
    HGLOBAL good = GreyPreview(505, 276);
    for (int i = 0; i < 20; ++i)
        send(good);
    ::GlobalFree(good);
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(panel, 23136))) << "the preview area shows after the first";
    Close();
    HGLOBAL late = GreyPreview(8, 8);
    EXPECT_EQ(::SendMessageA(panel, kMsgPreview, reinterpret_cast<WPARAM>(late), 0), 0) << "after the close";
    ::GlobalFree(late);
}

// During a cycle the close key and a page's Escape are ignored; the cycle's end, normal or aborted in
// any abort state, makes the close key work again.
TEST_F(PanelShot, CloseIsIgnoredDuringACycleAndWorksAfterEveryEndOfIt) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    for (const char* end : {"cycle 0", "cycle 1", "cycle 4", "cycle 5", "cycle 6", "cycle 7"}) {
        SCOPED_TRACE(end);
        ASSERT_EQ(OpenPort(), 15);
        Start(0); // cephalometric work: every cycle start notifies
        Unit("cycle 2");
        ASSERT_TRUE(WaitFor([] { return !Notified().empty(); }));
        ::SendMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        ::SendMessageA(panel, 0x400 + 0x25F, 0, 0); // Escape on a page
        EXPECT_TRUE(::IsWindow(panel));
        Unit(end);
        ASSERT_TRUE(Polls(3));
        EXPECT_EQ(Notified(), std::vector<int32_t>{0}) << "the close requests during the cycle were ignored";
        ::SendMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitFor([&] { return !::IsWindow(panel) && Notified().size() >= 3; }));
        EXPECT_EQ(Notified(), (std::vector<int32_t>{0, 1, 3}));
        Unit("cycle 0");
        ForgetNotifications();
    }
}

// Each key steps the unit's set point by one word (the unit applies its own step and limit); the time
// keys show and act in cephalometric work only.
TEST_F(PanelShot, ParameterPageKeysStepTheUnitsSetPoints) {
    for (const int mode : {1, 0}) {
        ASSERT_NO_FATAL_FAILURE(Load("2.10", mode ? "_pano" : "_ceph"));
        Start(static_cast<unsigned char>(mode));
        ASSERT_TRUE(StatusBecomes("ready", "1")) << StatusLine();
        const std::pair<int, uint16_t> keys[] = {{1029, 0x0001}, {1031, 0x0101}, {1030, 0x0002},
                                                 {1021, 0x0102}, {1121, 0x0003}, {1122, 0x0103},
                                                 {1027, 0x0008}};
        for (const auto& [key, word] : keys) {
            TakeCommands();
            HWND button = PageControl(panel, key);
            ASSERT_NE(button, nullptr) << key;
            ::SendMessageA(button, BM_CLICK, 0, 0);
            const bool timeKey = key == 1121 || key == 1122;
            EXPECT_EQ(Sent(word), timeKey && mode == 1 ? 0u : 1u) << key;
            // The key's own visibility: the page itself is shown only when selected.
            if (timeKey) {
                EXPECT_EQ((::GetWindowLongPtrA(button, GWL_STYLE) & WS_VISIBLE) != 0, mode == 0) << key;
            }
        }
        Unload();
    }
}

} // namespace
