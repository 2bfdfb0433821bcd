// Skinned controls under Wine, driven with real window messages on the generated skin.
#include "controls/Controls.h"
#include "platform/BoxWatcher.h"
#include "platform/Module.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace controls;

// A visible host window counting the click notifications of its children.
class Host : public platform::Window {
public:
    std::vector<int> clicks; // control ids
    Host() {
        platform::SetResourceModule(::GetModuleHandleA(nullptr));
        RegisterClassOnce("LumenControlsTestHost", CS_DBLCLKS,
                          static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
        CreateEx(0, "LumenControlsTestHost", "host", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768, nullptr,
                 nullptr);
    }
    // Creates a child window and attaches `control` to it, as a dialog's item would be.
    template <typename Control>
    void Add(Control& control, int id, int x, int y, const char* cls = "BUTTON", int w = 20, int h = 20) {
        ::CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE, x, y, w, h, GetHwnd(),
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        EXPECT_TRUE(control.Attach(static_cast<UINT>(id), GetHwnd())) << id;
    }
    int ClicksOf(int id) const { return static_cast<int>(std::count(clicks.begin(), clicks.end(), id)); }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
            clicks.push_back(LOWORD(wParam));
        return Window::WndProc(msg, wParam, lParam);
    }
};

void Pump(DWORD ms) {
    const DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < ms);
}

// Region membership against the mask's own pixels, on a grid of samples.
void ExpectRegionMatchesMask(HWND wnd, UINT maskId, int step) {
    platform::UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(::GetWindowRgn(wnd, region.Get()), ERROR);
    platform::UniqueBitmap mask = LoadSkinBitmap(maskId);
    BITMAP info{};
    ASSERT_TRUE(::GetObjectA(mask.Get(), sizeof info, &info));
    platform::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    platform::SelectObjectScope sel(dc.Get(), mask.Get());
    const COLORREF corner = ::GetPixel(dc.Get(), 0, 0);
    int inside = 0, mismatches = 0;
    for (int y = 0; y < info.bmHeight; y += step)
        for (int x = 0; x < info.bmWidth; x += step) {
            const bool shape = ::GetPixel(dc.Get(), x, y) != corner;
            inside += shape;
            if (shape != (::PtInRegion(region.Get(), x, y) != 0) && ++mismatches < 5)
                ADD_FAILURE() << "mask " << maskId << " pixel (" << x << "," << y << ") shape " << shape;
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(inside, 0) << "mask " << maskId << " has no shape";
}

// The window's region is the mask's shape (a round key); a colour picture given as the mask is
// reported and leaves the window rectangular.
TEST(RegionFromMask, RegionHoldsTheMaskShapeAndAMaskOfWrongFormatIsReported) {
    Host host;
    CJoliBouton key;
    host.Add(key, 100, 10, 10);
    key.SetBitmaps(140, 139, 140, 139);
    ExpectRegionMatchesMask(key.GetHwnd(), 139, 1);

    CTextDisplay display;
    host.Add(display, 200, 10, 10);
    {
        // The message box runs modally on this thread; the watcher reads and answers it.
        platform::BoxWatcher boxes;
        display.SetBitmaps(183, 129); // a colour picture given as the mask
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kMaskFormatMessage});
    }
    platform::UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(::GetWindowRgn(display.GetHwnd(), region.Get()), ERROR) << "the window stays rectangular";
}

// A display steps only to a new state in range, repainting then only; a key steps once per press.
TEST(StateControls, StepOnlyToANewStateInRangeAndOncePerPress) {
    Host host;
    CAfficheur3Etats build;
    CBouton2Etats voice;
    CBoutonRond selector;
    host.Add(build, 300, 10, 10);
    host.Add(voice, 400, 10, 200);
    host.Add(selector, 401, 200, 200);
    build.SetBitmaps(252, 251, 254, 253, 250, 249);
    voice.SetBitmaps(131, 130, 132, 130);
    selector.SetBitmaps(241, 237, 240, 239, 242, 238);
    Pump(50);
    for (auto [state, expected] : {std::pair{0, 0}, {3, 0}, {-1, 0}, {2, 2}}) {
        build.SetState(state);
        EXPECT_EQ(build.GetState(), expected) << state;
        EXPECT_EQ(::GetUpdateRect(build.GetHwnd(), nullptr, FALSE) != 0, state == 2) << state;
    }

    const auto statesAfterClicks = [](auto& key, int n) {
        std::vector<int> states;
        for (int i = 0; i < n; ++i) {
            ::SendMessageA(key.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
            ::UpdateWindow(key.GetHwnd());
            ::SendMessageA(key.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            ::UpdateWindow(key.GetHwnd());
            states.push_back(key.GetState());
        }
        return states;
    };
    EXPECT_EQ(statesAfterClicks(voice, 2), (std::vector<int>{1, 0}));
    // Repainted while held, the key still steps once.
    ::SendMessageA(voice.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    for (int i = 0; i < 3; ++i) {
        ::InvalidateRect(voice.GetHwnd(), nullptr, FALSE);
        ::UpdateWindow(voice.GetHwnd());
    }
    ::SendMessageA(voice.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(voice.GetState(), 1);
    EXPECT_EQ(statesAfterClicks(selector, 3), (std::vector<int>{1, 2, 0}));
    selector.SetCycleOnPress(false);
    EXPECT_EQ(statesAfterClicks(selector, 1), (std::vector<int>{0}));
    // Every press is still reported to the owner.
    EXPECT_EQ(host.ClicksOf(400), 3);
    EXPECT_EQ(host.ClicksOf(401), 4);
}

TEST(AutoClick, RepeatsWhileHeldUntilReleaseOrLostPressAndNotOnDoubleClick) {
    Host host;
    CAutoClickButton key;
    host.Add(key, 500, 300, 300);
    key.SetBitmaps(180, 179, 181, 179);
    RECT rc{};
    ::GetWindowRect(key.GetHwnd(), &rc);
    // The pointer rests on the key, as a finger holding it would.
    ::SetCursorPos((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    Pump(50);
    const auto send = [&](UINT msg) {
        ::SendMessageA(key.GetHwnd(), msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(10, 10));
    };
    const auto clicks = [&] { return host.ClicksOf(500); };

    host.clicks.clear();
    send(WM_LBUTTONDOWN);
    Pump(1100);
    EXPECT_EQ(clicks(), 5) << "repeats near 200, 400, 600, 800 and 1000 ms";
    send(WM_LBUTTONUP);
    EXPECT_EQ(clicks(), 6);
    Pump(450);
    EXPECT_EQ(clicks(), 6) << "no repeat after the release";
    EXPECT_FALSE(key.IsRepeating());

    host.clicks.clear();
    send(WM_LBUTTONDOWN);
    Pump(500);
    EXPECT_EQ(clicks(), 2);
    ::ReleaseCapture(); // e.g. a message box took the mouse
    Pump(600);
    EXPECT_EQ(clicks(), 2) << "no repeat once the press is lost";
    EXPECT_FALSE(key.IsRepeating());

    host.clicks.clear();
    send(WM_LBUTTONDBLCLK);
    EXPECT_EQ(clicks(), 1) << "a double click notifies at once";
    Pump(450);
    EXPECT_FALSE(key.IsRepeating());
    EXPECT_EQ(clicks(), 1);
    send(WM_LBUTTONUP);
}

TEST(Displays, SpaceDisplaySeesAChangeFarIntoALongCaption) {
    Host host;
    // Not lost to a fixed-length comparison.
    CSpaceDisplay caption;
    host.Add(caption, 601, 10, 100, "STATIC", 300, 20);
    std::string text(200, 'a');
    caption.SetText(text);
    text[150] = 'b';
    caption.SetText(text);
    char back[256] = {};
    ::GetWindowTextA(caption.GetHwnd(), back, sizeof back);
    EXPECT_EQ(std::string(back), text);
}

TEST(Preview, CentresThePictureInBlackMargins) {
    Host host;
    CStaticPreview preview;
    host.Add(preview, 700, 10, 10, "STATIC", 100, 50);
    const COLORREF red = RGB(255, 0, 0), black = RGB(0, 0, 0);
    // A red picture of bw x bh (none when 0) in the 100 x 50 preview: columns [firstRed, lastRed] of
    // the row are red, the rest black.
    const struct {
        int bw, bh, row, firstRed, lastRed;
    } cases[] = {
        {100, 50, 25, 0, 99},  // exact fit
        {90, 50, 25, 5, 94},   // narrower: framed left and right
        {91, 50, 25, 4, 94},   // odd difference: 4 columns left, 5 right, none left unpainted
        {300, 20, 2, 100, -1}, // wider and lower: framed top and bottom...
        {300, 20, 25, 0, 99},  // ...and cropped left and right
        {0, 0, 25, 100, -1},   // no picture: all black
    };
    platform::WindowDc screen(preview.GetHwnd());
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bw << "x" << c.bh << " row " << c.row);
        const std::vector<uint32_t> reds(static_cast<size_t>(c.bw * c.bh), 0xFF0000); // 32-bit 0RGB
        platform::UniqueBitmap picture(c.bw ? ::CreateBitmap(c.bw, c.bh, 1, 32, reds.data()) : nullptr);
        preview.SetPreview(picture.Get());
        ::UpdateWindow(preview.GetHwnd());
        for (int x = 0; x < 100; ++x)
            EXPECT_EQ(::GetPixel(screen.Get(), x, c.row), (x >= c.firstRed && x <= c.lastRed) ? red : black)
                << "column " << x;
        // The owner gets its picture back to free it.
        EXPECT_EQ(preview.SetPreview(nullptr), picture.Get());
    }
}

} // namespace
