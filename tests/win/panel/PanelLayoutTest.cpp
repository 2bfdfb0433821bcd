// The panel's three designs as StartDialog opens them against the emulator on the 1280 x 1024 test
// screen: the panel's place, the controls' places, sizes, kinds, fonts and visibility, the logo by the
// "Logo" setting, and the tooltips. The outline and the skin are checked on the screenshots.
//   panel_layout_test [gtest options]
//   panel_layout_test --show-design 1|2|3 --ready-file F --quit-file Q   (held open for a screenshot)
#include "PanelHarness.h"

#include <commctrl.h>

namespace {

constexpr POINT kPanelOrigin = {129, 128}; // ((1280 - 1024) / 2 + 1, (1024 - 768) / 2)

RECT Rect(HWND wnd) {
    RECT r{};
    ::GetWindowRect(wnd, &r);
    return r;
}

// The panel's own tooltip, not a page's: it knows the cancel key.
HWND FindTooltip(HWND panel) {
    std::pair<HWND, HWND> search{panel, nullptr};
    ::EnumThreadWindows(
        ::GetWindowThreadProcessId(panel, nullptr),
        [](HWND wnd, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<std::pair<HWND, HWND>*>(p);
            char name[32] = {};
            ::GetClassNameA(wnd, name, sizeof name);
            const auto cancel = reinterpret_cast<UINT_PTR>(::GetDlgItem(s->first, IDCANCEL));
            TTTOOLINFOA tool{sizeof tool, 0, s->first, cancel, {}, nullptr, nullptr, 0, nullptr};
            if (::GetWindow(wnd, GW_OWNER) != s->first || lstrcmpiA(name, TOOLTIPS_CLASSA) != 0 ||
                !::SendMessageA(wnd, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool)))
                return TRUE;
            s->second = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

// One module instance (a copy under its own name) with a panel of one design.
class OpenPanel {
public:
    OpenPanel(const char* copyName, const char* version, unsigned char mode) {
        const std::string copy = EmulatorFolder() + copyName;
        ::CopyFileA((EmulatorFolder() + "Lumen70_Demo.dll").c_str(), copy.c_str(), FALSE);
        module = std::make_unique<harness::Module>(copy);
        auto control = reinterpret_cast<ControlFn>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("Nxjbus.dll"), "EmuControl")));
        uint32_t slot = 0;
        if (!module->Handle() || !control ||
            control((std::string("version ") + version).c_str(), nullptr, 0) ||
            module->Get<harness::OpenCommPortFn>("OpenCommPort")() != 15 ||
            module->Get<harness::StartDialogFn>("StartDialog")(0, &slot, nullptr, mode, nullptr) != 15)
            return;
        HWND wnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(slot));
        // The layout runs once StartDialog has the handle; the tooltips come last.
        if (WaitFor([&] { return FindTooltip(wnd) != nullptr; }))
            panel = wnd;
    }
    ~OpenPanel() {
        if (panel) {
            ::PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
            WaitFor([&] { return !::IsWindow(panel); });
        }
    }
    HWND Item(int id) const { return ::GetDlgItem(panel, id); }

    std::unique_ptr<harness::Module> module;
    HWND panel = nullptr;
};

enum : unsigned { kV1 = 1, kV2 = 2, kV3 = 4, kAll = 7, kPano = kV1 | kV2, kNotV1 = kV2 | kV3, kNone = 0 };
enum class Kind { Drawn, Caption, Plain };

struct Place {
    int id;
    Kind kind;
    int x1, x23, y;   // client position in design 1, in designs 2 and 3
    unsigned shown;   // the designs that show it
    SIZE dialogUnits; // template size of the captions and displays: moved, never resized
    int fontHeight;   // a caption's, in bold Arial
};

// The skin's reference layout, truncate(1024 fx) and truncate(768 fy): a control of each kind, those
// that move or show by design, the preview and the page area.
const Place kPlaces[] = {
    {1039, Kind::Drawn, 199, 199, 461, kPano, {}, 0},
    {1120, Kind::Drawn, 120, 120, 437, kV3, {}, 0},
    {1056, Kind::Drawn, 414, 404, 445, kAll, {29, 22}, 0},
    {1049, Kind::Caption, 363, 368, 426, kAll, {79, 8}, 12},
    {1054, Kind::Caption, 537, 537, 426, kNotV1, {79, 8}, 12}, // reaches into the page area
    {1057, Kind::Caption, 768, 768, 164, kAll, {86, 13}, 20},
    {1075, Kind::Caption, 112, 112, 445, kNone, {8, 8}, 12},
    {23136, Kind::Plain, 92, 92, 123, kNone, {505, 276}, 0},  // preview, sized in pixels
    {1010, Kind::Plain, 607, 607, 269, kNone, {332, 293}, 0}, // page area, sized in pixels
};

void ExpectDesignLayout(const OpenPanel& p, unsigned design) {
    const RECT window = Rect(p.panel);
    EXPECT_EQ(window.left, kPanelOrigin.x);
    EXPECT_EQ(window.top, kPanelOrigin.y);
    EXPECT_EQ(window.right - window.left, 1024);
    EXPECT_EQ(window.bottom - window.top, 768);

    const RECT pages = Rect(p.Item(1010));
    for (const Place& c : kPlaces) {
        SCOPED_TRACE(::testing::Message() << "control " << c.id << " in design " << design);
        HWND item = p.Item(c.id);
        ASSERT_NE(item, nullptr);
        const RECT r = Rect(item);
        EXPECT_EQ(r.left, kPanelOrigin.x + (design == 1 ? c.x1 : c.x23));
        EXPECT_EQ(r.top, kPanelOrigin.y + c.y);
        const LONG style = ::GetWindowLongA(item, GWL_STYLE);
        EXPECT_EQ((style & WS_VISIBLE) != 0, (c.shown & (1u << (design - 1))) != 0);
        RECT size{0, 0, c.dialogUnits.cx, c.dialogUnits.cy};
        if (c.kind != Kind::Plain)
            ::MapDialogRect(p.panel, &size);
        EXPECT_TRUE(!size.right || (r.right - r.left == size.right && r.bottom - r.top == size.bottom))
            << "moved, never resized: " << r.right - r.left << " x " << r.bottom - r.top;
        EXPECT_TRUE(c.kind != Kind::Drawn || (style & BS_TYPEMASK) == BS_OWNERDRAW) << "owner-drawn";
        if (c.kind != Kind::Caption)
            continue;
        EXPECT_EQ((style & SS_NOTIFY) != 0, c.id == 1057) << "only the page captions click";
        LOGFONTA font{};
        ASSERT_NE(
            ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(item, WM_GETFONT, 0, 0)), sizeof font, &font),
            0);
        EXPECT_EQ(font.lfHeight, c.fontHeight);
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_STREQ(font.lfFaceName, "ARIAL");
        // A template box that reaches into the page area is cut at its edge, never showing through the page.
        RECT overlap{};
        if (!::IntersectRect(&overlap, &r, &pages))
            continue;
        HRGN shape = ::CreateRectRgn(0, 0, 0, 0);
        EXPECT_NE(::GetWindowRgn(item, shape), ERROR) << "it covers the pages";
        EXPECT_FALSE(::PtInRegion(shape, overlap.left - r.left, overlap.top - r.top));
        ::DeleteObject(shape);
    }
}

TEST(PanelLayout, EachDesignPlacesShowsAndDressesEveryControlWithItsTooltips) {
    harness::ClearStartPgm();
    SetPortSettings();
    const struct {
        unsigned design;
        const char* version;
        unsigned char mode;
        DWORD logoSetting;
        LONG logoWidth;
    } designs[] = {
        {1, "1.02", 1, 0, 173}, // a version-1 unit in panoramic mode
        {2, "2.10", 1, 1, 296}, // a version-2 unit in panoramic mode, the long logo
        {3, "2.10", 0, 0, 173}, // cephalometric mode
    };
    for (const auto& c : designs) {
        SCOPED_TRACE(::testing::Message() << "design " << c.design);
        SetModuleValue("Logo", REG_DWORD, &c.logoSetting, sizeof c.logoSetting);
        OpenPanel p(("Lumen70_L" + std::to_string(c.design) + ".dll").c_str(), c.version, c.mode);
        SetModuleValue("Logo", 0, nullptr, 0);
        ASSERT_NE(p.panel, nullptr);
        ExpectDesignLayout(p, c.design);
        const RECT logo = Rect(p.Item(1067));
        EXPECT_EQ(logo.right - logo.left, c.logoWidth);
        EXPECT_EQ(logo.bottom - logo.top, 52);
        // Balloons with the language library's texts; the dose display's tip is renamed on the panel's
        // own tooltip by the first refresh after the emulator's dose unit.
        HWND tip = FindTooltip(p.panel);
        EXPECT_EQ(::GetWindowLongA(tip, GWL_STYLE) & (TTS_BALLOON | TTS_NOPREFIX),
                  TTS_BALLOON | TTS_NOPREFIX);
        auto tipText = [&](int id) {
            char text[256] = {};
            const auto item = reinterpret_cast<UINT_PTR>(p.Item(id));
            TTTOOLINFOA tool{sizeof tool, 0, p.panel, item, {}, nullptr, text, 0, nullptr};
            ::SendMessageA(tip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
            return std::string(text);
        };
        EXPECT_EQ(tipText(1001), "X-ray emission");
        // The start-up goes on after StartDialog returned: the pages, then the first refresh.
        EXPECT_TRUE(c.design == 1 || WaitFor([&] { return tipText(1064) == "Dose (mGy)"; })) << tipText(1064);
    }
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
