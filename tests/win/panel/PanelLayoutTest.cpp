// The panel's three designs as StartDialog opens them against the emulator (beside the module as
// Nxjbus.dll) on the 1280 x 1024 test screen: the panel's place and outline, every control's place,
// size, kind, font, text and visibility, the logo by the "Logo" setting, the cephalometric recap's
// pictures by the unit's factory option, and the tooltips.
//   panel_layout_test [gtest options]
//   panel_layout_test --show-design 1|2|3 --ready-file F --quit-file Q   (held open for a screenshot)
#include "PanelHarness.h"
#include "controls/StateControls.h"
#include "platform/Handle.h"

#include <commctrl.h>

#include <cstdio>

namespace {

constexpr POINT kPanelOrigin = {129, 128}; // ((1280 - 1024) / 2 + 1, (1024 - 768) / 2)

void SetLumenNumber(const char* name, DWORD value) {
    SetModuleValue(name, REG_DWORD, &value, sizeof value);
}

HWND FindTooltip(HWND panel) {
    struct Search {
        HWND owner, found;
    } search{panel, nullptr};
    ::EnumThreadWindows(
        ::GetWindowThreadProcessId(panel, nullptr),
        [](HWND wnd, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            char name[32] = {};
            ::GetClassNameA(wnd, name, sizeof name);
            if (::GetWindow(wnd, GW_OWNER) != s->owner || lstrcmpiA(name, TOOLTIPS_CLASSA) != 0)
                return TRUE;
            // The panel's own, not a page's: it knows the cancel key.
            TTTOOLINFOA tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = s->owner;
            tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(s->owner, IDCANCEL));
            if (!::SendMessageA(wnd, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool)))
                return TRUE;
            s->found = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// One module instance (a copy under its own name) with a panel of one design.
class OpenPanel {
public:
    // `unitSetUp` runs on the new unit (the version line makes one) before the panel starts.
    OpenPanel(
        const char* copyName, const char* version, unsigned char mode,
        const std::function<void()>& unitSetUp = [] {}) {
        const std::string copy = EmulatorFolder() + copyName;
        ::CopyFileA((EmulatorFolder() + "Lumen70_Demo.dll").c_str(), copy.c_str(), FALSE);
        module = std::make_unique<harness::Module>(copy);
        if (!module->Handle())
            return;
        HMODULE bus = ::GetModuleHandleA("Nxjbus.dll");
        control = reinterpret_cast<ControlFn>(reinterpret_cast<void*>(::GetProcAddress(bus, "EmuControl")));
        if (!control || control((std::string("version ") + version).c_str(), nullptr, 0) != 0 ||
            module->Get<harness::OpenCommPortFn>("OpenCommPort")() != 15)
            return;
        unitSetUp();
        uint32_t slot = 0;
        if (module->Get<harness::StartDialogFn>("StartDialog")(0, &slot, nullptr, mode, nullptr) != 15)
            return;
        HWND wnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(slot));
        // The layout runs once StartDialog has the handle; the tooltips come last.
        if (WaitFor([&] { return FindTooltip(wnd) != nullptr; }, 20000))
            panel = wnd;
    }
    ~OpenPanel() {
        if (panel) {
            ::PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
            WaitFor([&] { return !::IsWindow(panel); }, 20000);
        }
    }
    HWND Item(int id) const { return ::GetDlgItem(panel, id); }

    std::unique_ptr<harness::Module> module;
    ControlFn control = nullptr;
    HWND panel = nullptr;
};

// Designs that show a control.
enum : unsigned { kV1 = 1, kV2 = 2, kV3 = 4, kAll = 7, kPano = kV1 | kV2, kNotV1 = kV2 | kV3, kNone = 0 };
enum class Kind { Drawn, Caption, Display, Plain };

struct Place {
    int id;
    Kind kind;
    int x1, x23, y; // client position in design 1, in designs 2 and 3
    unsigned shown;
    SIZE dialogUnits; // template size of the captions and displays
};

// The skin's reference layout, truncate(1024 fx) and truncate(768 fy): every caption and display, and the
// keys that stand for their kind or differ by design.
const Place kPlaces[] = {
    {1046, Kind::Drawn, 617, 617, 141, kAll, {}},
    {1003, Kind::Drawn, 52, 52, 58, kAll, {}},
    {2, Kind::Drawn, 890, 890, 655, kAll, {}},
    {1039, Kind::Drawn, 199, 199, 461, kPano, {}},
    {1040, Kind::Drawn, 107, 107, 461, kPano, {}},
    {1044, Kind::Drawn, 145, 145, 444, kPano, {}},
    {1120, Kind::Drawn, 120, 120, 437, kV3, {}},
    {1067, Kind::Drawn, 232, 232, 657, kAll, {}},
    {1070, Kind::Drawn, 479, 479, 537, kAll, {}},
    {1071, Kind::Drawn, 373, 373, 559, kAll, {}},
    {1047, Kind::Caption, 133, 133, 426, kAll, {79, 8}},
    {1048, Kind::Caption, 266, 266, 426, kAll, {79, 8}},
    {1049, Kind::Caption, 363, 368, 426, kAll, {79, 8}},
    {1051, Kind::Caption, 424, 420, 426, kAll, {79, 8}},
    {1053, Kind::Caption, 486, 476, 426, kAll, {79, 8}},
    {1054, Kind::Caption, 537, 537, 426, kNotV1, {79, 8}},
    {1057, Kind::Caption, 768, 768, 164, kAll, {86, 13}},
    {1058, Kind::Caption, 765, 765, 201, kAll, {86, 13}},
    {1059, Kind::Caption, 753, 753, 235, kAll, {86, 13}},
    {1075, Kind::Caption, 112, 112, 445, kNone, {8, 8}},
    {1103, Kind::Caption, 212, 212, 491, kAll, {18, 16}},
    {1055, Kind::Display, 353, 353, 445, kAll, {29, 22}},
    {1056, Kind::Display, 414, 404, 445, kAll, {29, 22}},
    {1063, Kind::Display, 476, 450, 445, kAll, {37, 22}},
    {1064, Kind::Display, 512, 512, 445, kNotV1, {47, 22}},
    {1065, Kind::Display, 112, 112, 566, kAll, {173, 25}},
    {1066, Kind::Display, 409, 409, 566, kAll, {37, 25}},
    {1072, Kind::Display, 522, 522, 576, kAll, {50, 14}},
    {23136, Kind::Plain, 92, 92, 123, kNone, {}},
    {1010, Kind::Plain, 607, 607, 269, kNone, {}},
};

struct Caption {
    int id;
    int height;
    const char* text;
};
const Caption kCaptions[] = {
    {1047, 12, "Program"},    {1048, 12, "Patient"}, {1049, 12, "kV"},      {1051, 12, "mA"},
    {1053, 12, "s"},          {1054, 12, "Dose"},    {1057, 20, "Program"}, {1058, 20, "Patient"},
    {1059, 20, "Parameters"}, {1075, 12, "x4"},      {1103, 12, "R"},
};

void ExpectDesignLayout(const OpenPanel& p, unsigned design) {
    RECT window{};
    ::GetWindowRect(p.panel, &window);
    EXPECT_EQ(window.left, kPanelOrigin.x);
    EXPECT_EQ(window.top, kPanelOrigin.y);
    EXPECT_EQ(window.right - window.left, 1024);
    EXPECT_EQ(window.bottom - window.top, 768);

    // The outline of mask 284: the corners are cut away, the housing is kept.
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(p.panel, region), COMPLEXREGION);
    EXPECT_FALSE(::PtInRegion(region, 3, 3));
    EXPECT_TRUE(::PtInRegion(region, 40, 300));
    EXPECT_TRUE(::PtInRegion(region, 512, 384));
    ::DeleteObject(region);

    for (const Place& c : kPlaces) {
        SCOPED_TRACE(::testing::Message() << "control " << c.id << " in design " << design);
        HWND item = p.Item(c.id);
        ASSERT_NE(item, nullptr);
        RECT r{};
        ::GetWindowRect(item, &r);
        EXPECT_EQ(r.left, kPanelOrigin.x + (design == 1 ? c.x1 : c.x23));
        EXPECT_EQ(r.top, kPanelOrigin.y + c.y);
        const LONG style = ::GetWindowLongA(item, GWL_STYLE);
        EXPECT_EQ((style & WS_VISIBLE) != 0, (c.shown & (1u << (design - 1))) != 0);
        switch (c.kind) {
        case Kind::Drawn:
        case Kind::Display:
            EXPECT_EQ(style & BS_TYPEMASK, BS_OWNERDRAW);
            break;
        case Kind::Caption:
            EXPECT_EQ((style & SS_NOTIFY) != 0, c.id >= 1057 && c.id <= 1059)
                << "only the page captions click";
            break;
        case Kind::Plain:
            break;
        }
        if (c.dialogUnits.cx) { // moved, never resized
            RECT size{0, 0, c.dialogUnits.cx, c.dialogUnits.cy};
            ::MapDialogRect(p.panel, &size);
            EXPECT_EQ(r.right - r.left, size.right);
            EXPECT_EQ(r.bottom - r.top, size.bottom);
        }
    }
    RECT preview{}, pages{};
    ::GetWindowRect(p.Item(23136), &preview);
    ::GetWindowRect(p.Item(1010), &pages);
    EXPECT_EQ(preview.right - preview.left, 505);
    EXPECT_EQ(preview.bottom - preview.top, 276);
    EXPECT_EQ(pages.right - pages.left, 332);
    EXPECT_EQ(pages.bottom - pages.top, 293);
    // A template box that reaches into the page area (the dose caption's) must not show through the page.
    for (const Place& c : kPlaces) {
        RECT box{}, overlap{};
        ::GetWindowRect(p.Item(c.id), &box);
        if (c.kind == Kind::Plain || !::IntersectRect(&overlap, &box, &pages))
            continue;
        HRGN shape = ::CreateRectRgn(0, 0, 0, 0);
        EXPECT_NE(::GetWindowRgn(p.Item(c.id), shape), ERROR) << "control " << c.id << " covers the pages";
        EXPECT_FALSE(::PtInRegion(shape, overlap.left - box.left, overlap.top - box.top)) << c.id;
        ::DeleteObject(shape);
    }

    for (const Caption& c : kCaptions) {
        SCOPED_TRACE(::testing::Message() << "caption " << c.id);
        char text[64] = {};
        ::GetWindowTextA(p.Item(c.id), text, sizeof text);
        EXPECT_STREQ(text, c.text);
        LOGFONTA font{};
        HFONT handle = reinterpret_cast<HFONT>(::SendMessageA(p.Item(c.id), WM_GETFONT, 0, 0));
        ASSERT_NE(::GetObjectA(handle, sizeof font, &font), 0);
        EXPECT_EQ(font.lfHeight, c.height);
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_STREQ(font.lfFaceName, "ARIAL");
    }
}

SIZE WindowSize(HWND wnd) {
    RECT r{};
    ::GetWindowRect(wnd, &r);
    return {r.right - r.left, r.bottom - r.top};
}

class PanelLayout : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        harness::ClearStartPgm();
        SetPortSettings();
    }
};

struct DesignCase {
    unsigned design;
    const char* version;
    unsigned char mode;
    DWORD logoSetting;
    LONG logoWidth;
};
const DesignCase kDesigns[] = {
    {1, "1.02", 1, 0, 173}, // design 1: a version-1 unit in panoramic mode
    {2, "2.10", 1, 1, 296}, // design 2: a version-2 unit in panoramic mode, the long logo
    {3, "2.10", 0, 0, 173}, // design 3: cephalometric mode
};

TEST_F(PanelLayout, EachDesignPlacesShowsAndDressesEveryControl) {
    for (const DesignCase& c : kDesigns) {
        SCOPED_TRACE(::testing::Message() << "design " << c.design);
        SetLumenNumber("Logo", c.logoSetting);
        OpenPanel p(("Lumen70_L" + std::to_string(c.design) + ".dll").c_str(), c.version, c.mode);
        SetLumenNumber("Logo", 0);
        ASSERT_NE(p.panel, nullptr);
        ExpectDesignLayout(p, c.design);
        const SIZE logo = WindowSize(p.Item(1067));
        EXPECT_EQ(logo.cx, c.logoWidth);
        EXPECT_EQ(logo.cy, 52);
    }
}

TEST_F(PanelLayout, TooltipsAreBalloonsWithTheLanguageLibraryTexts) {
    OpenPanel p("Lumen70_Tips.dll", "2.10", 1);
    ASSERT_NE(p.panel, nullptr);
    HWND tip = FindTooltip(p.panel);
    EXPECT_EQ(::GetWindowLongA(tip, GWL_STYLE) & (TTS_BALLOON | TTS_NOPREFIX), TTS_BALLOON | TTS_NOPREFIX);
    EXPECT_EQ(::SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 22);
    // The dose display's tooltip is renamed by the first refresh after the emulator's dose unit.
    const std::pair<int, const char*> tips[] = {
        {1001, "X-ray emission"}, {1064, "Dose (mGy)"}, {1000, "Voice prompts on or off"}};
    auto tipText = [&](int id) {
        char text[256] = {};
        TTTOOLINFOA tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = p.panel;
        tool.uId = reinterpret_cast<UINT_PTR>(p.Item(id));
        tool.lpszText = text;
        ::SendMessageA(tip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
        return std::string(text);
    };
    // The start-up goes on after StartDialog returned: its pages first, then the first refresh.
    WaitFor([&] { return tipText(1064) == "Dose (mGy)"; }, 20000);
    for (const auto& [id, expected] : tips)
        EXPECT_EQ(tipText(id), expected) << "tooltip of " << id;
}

// The recap's lateral-view picture (state 2) follows the unit's cephalometric option. The recap is
// set from the test on the panel's own thread, through a hook, as the program recap will set it.
UINT g_setRecapState = 0;
LRESULT CALLBACK SetRecapStateOnPanelThread(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == g_setRecapState)
        if (auto* recap = static_cast<controls::CAfficheur6Etats*>(platform::Window::FromHandle(call->hwnd)))
            recap->SetState(static_cast<int>(call->wParam));
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<COLORREF> LateralRecapPixels(const OpenPanel& p) {
    HWND recap = p.Item(1120);
    g_setRecapState = ::RegisterWindowMessageA("PanelLayoutTest.SetRecapState");
    HHOOK hook = ::SetWindowsHookExA(WH_CALLWNDPROC, &SetRecapStateOnPanelThread, nullptr,
                                     ::GetWindowThreadProcessId(recap, nullptr));
    ::SendMessageA(recap, g_setRecapState, 2, 0);
    ::UnhookWindowsHookEx(hook);
    // The recap draws itself into a surface of ours, as it draws on the panel.
    const SIZE size = WindowSize(recap);
    platform::WindowDc screen(nullptr);
    platform::UniqueMemoryDc dc(::CreateCompatibleDC(screen.Get()));
    platform::UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.Get(), size.cx, size.cy));
    platform::SelectObjectScope select(dc.Get(), bitmap.Get());
    RECT area{0, 0, size.cx, size.cy};
    ::FillRect(dc.Get(), &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    DRAWITEMSTRUCT item{ODT_BUTTON, 1120, 0, ODA_DRAWENTIRE, 0, recap, dc.Get(), area, 0};
    ::SendMessageA(p.panel, WM_DRAWITEM, 1120, reinterpret_cast<LPARAM>(&item));
    std::vector<COLORREF> pixels;
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x)
            pixels.push_back(::GetPixel(dc.Get(), x, y));
    return pixels;
}

// The unit's factory-settings block, written through the bus: the option word at byte 16. The
// emulator's version line makes a new unit, so this runs after it.
void SetUnitCephalometricOption(uint16_t option) {
    HMODULE bus = ::GetModuleHandleA("Nxjbus.dll"); // the unit the module talks to
    ASSERT_NE(bus, nullptr);
    auto open = reinterpret_cast<int (*)(const char*, const char*)>(
        reinterpret_cast<void*>(::GetProcAddress(bus, "JbusOpen")));
    auto write = reinterpret_cast<int (*)(int, int, int, uint16_t)>(
        reinterpret_cast<void*>(::GetProcAddress(bus, "JbusWriteOneWord")));
    auto close =
        reinterpret_cast<void (*)(int*)>(reinterpret_cast<void*>(::GetProcAddress(bus, "JbusClose")));
    ASSERT_TRUE(open && write && close);
    int handle = open("COM1", "19200");
    ASSERT_NE(handle, -1);
    constexpr int kFactoryOptionWord = 0x7000 + (130 + 16) / 2;
    EXPECT_EQ(write(handle, 1, kFactoryOptionWord, option), 0);
    close(&handle);
}

TEST_F(PanelLayout, CephalometricOption2GivesTheRecapItsOwnLateralPicture) {
    std::vector<COLORREF> usual, own;
    {
        OpenPanel p("Lumen70_L4.dll", "2.10", 0);
        ASSERT_NE(p.panel, nullptr);
        usual = LateralRecapPixels(p);
    }
    {
        // The module reads the block when it lays the panel out.
        OpenPanel p("Lumen70_L5.dll", "2.10", 0, [] { SetUnitCephalometricOption(2); });
        ASSERT_NE(p.panel, nullptr);
        own = LateralRecapPixels(p);
    }
    ASSERT_EQ(usual.size(), own.size());
    EXPECT_NE(usual, own);
}

// Holds one design open for a screenshot taken from outside.
int ShowDesign(int design, const char* readyFile, const char* quitFile) {
    harness::ClearStartPgm();
    SetPortSettings();
    OpenPanel p("Lumen70_Shot.dll", design == 1 ? "1.02" : "2.10", design == 3 ? 0 : 1);
    if (!p.panel)
        return 1;
    ::RedrawWindow(p.panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    if (FILE* f = std::fopen(readyFile, "w"))
        std::fclose(f);
    WaitFor([&] { return ::GetFileAttributesA(quitFile) != INVALID_FILE_ATTRIBUTES; }, 60000);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::strcmp(argv[1], "--show-design") == 0)
        return ShowDesign(std::atoi(argv[2]), argv[4], argv[6]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
