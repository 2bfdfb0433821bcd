// A whole exposure seen from outside: the unit driven through the emulator's control line, the host's
// notifications, preview and end messages, the unit's display registers, the event log and the unit
// information file.
#include "PanelHarness.h"

#include <algorithm>

namespace {

constexpr UINT kMsgPreview = 0x65A;
constexpr UINT kMsgEnd = 0x65B;

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string MachineRotation() {
    char value[16] = {};
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Classes\\HALVEX\\PANO", "Rotation", RRF_RT_REG_SZ,
                       nullptr, value, &size) != ERROR_SUCCESS)
        return "absent";
    return value;
}

// A packed 8-bit grey bitmap of w x h in a movable block, as a host builds its preview.
HGLOBAL GreyPreview(int w, int h) {
    const size_t stride = static_cast<size_t>((w + 3) / 4 * 4);
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + 1024 + stride * h);
    auto* header = static_cast<BITMAPINFOHEADER*>(::GlobalLock(block));
    *header = {};
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = w;
    header->biHeight = h;
    header->biPlanes = 1;
    header->biBitCount = 8;
    auto* palette = reinterpret_cast<RGBQUAD*>(header + 1);
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    std::memset(palette + 256, 0x80, stride * h);
    ::GlobalUnlock(block);
    return block;
}

class PanelShot : public LivePanel {};

TEST_F(PanelShot, CycleStartTellsTheHostOnceAfterTheMirrorFlagAndShowsTheCycleOnTheUnit) {
    const struct {
        const char* rotation;
        bool mirror;
        const char* stored;
    } cases[] = {{"rotation 0", true, "0"}, {"rotation 1", false, "1"}};
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Load("2.10", c.rotation + 9));
        Unit("speed 4");
        Unit(c.rotation);
        auto mirror = module->Get<bool (*)()>("bHaveToMirror");
        std::atomic<int> seenMirror{-1};
        std::string seenStored;
        {
            std::lock_guard lock(HostEvents().mutex);
            HostEvents().events.clear();
            HostEvents().hook = [&](int32_t event) {
                if (event == 0) {
                    seenMirror = mirror() ? 1 : 0;
                    seenStored = MachineRotation();
                }
            };
        }
        Start(1);
        ASSERT_NO_FATAL_FAILURE(Expose());
        std::vector<std::string> texts;
        WaitFor(
            [&] {
                const std::string text = Trimmed(StatusText("unit_text"));
                if (texts.empty() || texts.back() != text)
                    texts.push_back(text);
                return Status("cycle") == "0" && Status("emission") == "0" && CycleStarts() > 0;
            },
            30000);
        ASSERT_TRUE(StatusBecomes("cycle", "0", 30000));
        ::Sleep(600); // three more polls at cycle state 0
        EXPECT_EQ(CycleStarts(), 1u) << c.rotation << ": one notification per cycle";
        EXPECT_EQ(seenMirror.load(), c.mirror ? 1 : 0) << c.rotation << ": mirror flag refreshed first";
        EXPECT_EQ(seenStored, c.stored) << c.rotation;
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Preparing the exposure, please wait"), texts.end());
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Cycle in progress, do not move"), texts.end());
        Close();
        module.reset();
    }
}

TEST_F(PanelShot, NoNotificationWhenTheUnitAcquiresNothing) {
    const struct {
        const char* version;
        const char* setUp;
        size_t errors202;
    } cases[] = {
        {"2.10", "acquisition fail", 1}, // design 2: the unit reports a failed acquisition
        {"1.02", "command 0x0007", 0},   // design 1 with image acquisition off
    };
    for (const auto& c : cases) {
        harness::DeleteLog();
        ASSERT_NO_FATAL_FAILURE(Load(c.version, c.version[0] == '1' ? "_v1" : "_v2"));
        Unit("speed 4");
        Unit(c.setUp);
        Start(1);
        ASSERT_NO_FATAL_FAILURE(Expose());
        ASSERT_TRUE(StatusBecomes("emission", "1", 10000)) << "the exposure itself goes on";
        ASSERT_TRUE(StatusBecomes("cycle", "0", 30000));
        ::Sleep(600);
        EXPECT_EQ(CycleStarts(), 0u) << c.version << " " << c.setUp;
        EXPECT_EQ(LogLinesWith(ErrorEntry(202)), c.errors202) << c.version << " " << c.setUp;
        Close();
        module.reset();
        ForgetNotifications();
    }
}

TEST_F(PanelShot, RotationShowsEachConditionThenTheUserText) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Unit("conditions 0x000C"); // sensor not ready (slot 1) and tube cooling (slot 6)
    // Accented and caret characters as the host's code page holds them.
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
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"The image sensor is not ready", "I03"},
        {"Tube cooling, please wait", "I06"},
        {"Ren\x82"
         "e N Dupont",
         "   "},
        {"The image sensor is not ready", "I03"},
    };
    EXPECT_EQ(shown, expected);
}

// The security timer runs from the emission for a positive setting only; a preview in time stops it,
// and its time-out ends the panel and tells the unit so.
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
        ASSERT_TRUE(WaitFor([] { return !Notified().empty(); }, 20000));
        if (c.preview) {
            HGLOBAL block = GreyPreview(64, 32);
            ::SendMessageA(panel, kMsgPreview, reinterpret_cast<WPARAM>(block), 0);
            ::GlobalFree(block);
        }
        ASSERT_TRUE(StatusBecomes("cycle", "0", 30000));
        ::Sleep(600);
        if (c.timedOut) {
            EXPECT_TRUE(WaitFor([&] { return LogLinesWith(ErrorEntry(201)) >= 1; }, 20000));
            EXPECT_TRUE(WaitFor([&] { return !::IsWindow(panel); }, 20000));
            EXPECT_EQ(Status("panel"), "0") << "the unit is told the panel left";
        } else {
            EXPECT_EQ(LogLinesWith(ErrorEntry(201)), 0u);
        }
        Close();
        module.reset();
        ForgetNotifications();
    }
    DeleteModuleValue("SecurityTimeOut");
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
        EXPECT_TRUE(WaitFor([&] { return !::IsWindow(panel); }, 20000));
        EXPECT_TRUE(WaitFor([] { return Notified().size() >= 2 && Notified().back() == 3; }, 20000));
        const std::vector<int32_t> events = Notified();
        EXPECT_EQ(std::vector<int32_t>(events.end() - 2, events.end()), (std::vector<int32_t>{1, 3}));
        Unit("cycle 0");
        module.reset();
        ForgetNotifications();
    }
}

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
    auto mutated = [](auto change, SIZE_T shrink = 0) {
        HGLOBAL block = GreyPreview(40, 20);
        auto* header = static_cast<BITMAPINFOHEADER*>(::GlobalLock(block));
        change(*header);
        ::GlobalUnlock(block);
        if (shrink)
            block = ::GlobalReAlloc(block, ::GlobalSize(block) - shrink, GMEM_MOVEABLE);
        return block;
    };
    const struct {
        const char* what;
        HGLOBAL block;
    } cases[] = {
        {"truncated pixels", mutated([](BITMAPINFOHEADER&) {}, 100)},
        {"a header that lies about its size", mutated([](BITMAPINFOHEADER& h) { h.biSize = 0x10000000; })},
        {"a height beyond the block", mutated([](BITMAPINFOHEADER& h) { h.biHeight = 4000; })},
        {"compressed", mutated([](BITMAPINFOHEADER& h) { h.biCompression = BI_RLE8; })},
        {"16 colours with a 256-colour table", mutated([](BITMAPINFOHEADER& h) { h.biClrUsed = 16; })},
        {"not a bitmap", mutated([](BITMAPINFOHEADER& h) { std::memset(&h, 0xFF, sizeof h); })},
    };
    for (const auto& c : cases) {
        const SIZE_T size = ::GlobalSize(c.block);
        send(c.block);
        EXPECT_EQ(::GlobalSize(c.block), size) << c.what << ": the block is still the sender's";
        EXPECT_TRUE(::GlobalFree(c.block) == nullptr) << c.what;
    }
    send(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(0xDEAD0000))); // not a block at all
    send(nullptr);
    HGLOBAL good = GreyPreview(505, 276);
    for (int i = 0; i < 20; ++i) // each replaces the last: no bitmap left behind
        send(good);
    ::GlobalFree(good);
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(panel, 23136))) << "the preview area shows after the first";
    Close();
    EXPECT_FALSE(::IsWindow(panel));
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
        ASSERT_EQ(module->Get<harness::OpenCommPortFn>("OpenCommPort")(), 15);
        Start(0); // cephalometric work: every cycle start notifies
        Unit("cycle 2");
        ASSERT_TRUE(WaitFor([] { return !Notified().empty(); }, 20000));
        ::SendMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        ::SendMessageA(panel, 0x400 + 0x25F, 0, 0); // Escape on a page
        EXPECT_TRUE(::IsWindow(panel));
        Unit(end);
        ASSERT_TRUE(Polls(3));
        EXPECT_EQ(Notified(), std::vector<int32_t>{0}) << "the close requests during the cycle were ignored";
        ::SendMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitFor([&] { return !::IsWindow(panel); }, 20000));
        EXPECT_TRUE(WaitFor([] { return Notified().size() >= 3; }, 20000));
        EXPECT_EQ(Notified(), (std::vector<int32_t>{0, 1, 3}));
        Unit("cycle 0");
        ForgetNotifications();
    }
}

TEST_F(PanelShot, LinkLostDuringTheExposureIsReportedAndThePanelStaysUsable) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Unit("speed 4");
    Start(1);
    ASSERT_NO_FATAL_FAILURE(Expose());
    ASSERT_TRUE(StatusBecomes("emission", "1", 10000));
    Unit("port fail");
    ASSERT_TRUE(WaitFor([] { return LogLinesWith(ErrorEntry(114)) >= 1; }, 20000));
    DWORD_PTR result = 0;
    EXPECT_NE(::SendMessageTimeoutA(panel, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result), 0);
    Unit("port ok");
    Close();
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(panel); }, 20000));
}

TEST_F(PanelShot, InformationFileIsRebuiltAtTheCloseWhileTheLinkIsOpen) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    char path[MAX_PATH] = {};
    module->Get<void (*)(char*)>("GetInfoFileName")(path);
    ASSERT_NE(path[0], 0);
    ::WritePrivateProfileStringA("Stale", "Key", "old", path);
    Unit("counters 1234 5678");
    Start(1);
    Close();
    auto value = [&](const char* section, const char* key) {
        char text[256] = {};
        ::GetPrivateProfileStringA(section, key, "<absent>", text, sizeof text, path);
        return std::string(text);
    };
    EXPECT_EQ(value("Stale", "Key"), "<absent>") << "the file is rebuilt from scratch";
    EXPECT_EQ(value("Identification", "SoftwareVersion"), "2.10");
    EXPECT_EQ(value("Counters", "ExposureCount"), "1234");
    EXPECT_EQ(value("Counters", "TubeEnergyJoules"), "5678");
    EXPECT_NE(value("Calibration", "Heating[10]"), "<absent>");
    EXPECT_NE(value("Calibration", "UnitCoefficient1").find('.'), std::string::npos) << "six decimals";
    EXPECT_NE(value("Preferences", "ReferenceKv ( Child, Large)"), "<absent>");

    // A panel that closes with the link closed leaves the file alone.
    ::DeleteFileA(path);
    Start(1);
    Close();
    EXPECT_EQ(::GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
}

class ParameterPage : public LivePanel {
protected:
    std::string Commands() {
        char reply[4096] = {};
        control("history commands", reply, sizeof reply);
        return reply;
    }
    void Press(int id) {
        HWND key = PageControl(panel, id);
        ASSERT_NE(key, nullptr) << id;
        ::SendMessageA(key, BM_CLICK, 0, 0);
    }
};

TEST_F(ParameterPage, KeysStepTheUnitsSetPointsWithinItsLimits) {
    const struct {
        unsigned char mode;
        const char* maxKv;
    } cases[] = {{1, "86"}, {0, "90"}};
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Load("2.10", c.mode ? "_pano" : "_ceph"));
        Start(c.mode);
        ASSERT_TRUE(StatusBecomes("ready", "1", 10000)) << StatusLine();
        const int kv = std::stoi(Status("kv"));
        Unit("history clear");
        const struct {
            int key;
            const char* word;
        } keys[] = {{1029, "0x0001:0"}, {1031, "0x0101:0"}, {1030, "0x0002:0"}, {1021, "0x0102:0"},
                    {1121, "0x0003:0"}, {1122, "0x0103:0"}, {1027, "0x0008:0"}};
        for (const auto& k : keys) {
            Press(k.key);
            const bool timeKey = k.key == 1121 || k.key == 1122;
            const bool sent = Commands().find(k.word) != std::string::npos;
            EXPECT_EQ(sent, !(timeKey && c.mode == 1))
                << "key " << k.key << " mode " << int{c.mode} << ": " << Commands();
            if (timeKey) {
                // The key's own visibility: the page itself is shown only when selected.
                const LONG_PTR style = ::GetWindowLongPtrA(PageControl(panel, k.key), GWL_STYLE);
                EXPECT_EQ((style & WS_VISIBLE) != 0, c.mode == 0) << k.key;
            }
        }
        EXPECT_EQ(std::stoi(Status("kv")), kv) << "one step up, one step down";
        for (int i = 0; i < 40; ++i)
            Press(1029);
        EXPECT_EQ(Status("kv"), c.maxKv) << "the unit stops at its limit";
        Close();
        module.reset();
    }
}

} // namespace
