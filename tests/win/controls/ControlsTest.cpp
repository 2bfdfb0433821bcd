// Skinned controls under Wine, driven with real window messages on the generated skin.
#include "controls/Controls.h"
#include "platform/Module.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace controls;

// A visible host window counting the click notifications of its children.
class Host : public platform::Window {
public:
    std::vector<int> clicks; // control ids, in order
    Host() {
        platform::SetResourceModule(::GetModuleHandleA(nullptr));
        RegisterClassOnce("LumenControlsTestHost", CS_DBLCLKS, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
        CreateEx(0, "LumenControlsTestHost", "host", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768, nullptr, nullptr);
    }
    HWND AddChild(const char* cls, int id, int x, int y, int w = 20, int h = 20) {
        return ::CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE, x, y, w, h, GetHwnd(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    int ClicksOf(int id) const {
        int n = 0;
        for (int c : clicks)
            n += c == id;
        return n;
    }

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

bool HasPendingPaint(HWND wnd) { return ::GetUpdateRect(wnd, nullptr, FALSE) != 0; }

// Presses and releases a key the way the mouse does.
void Click(HWND button) {
    ::SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::UpdateWindow(button);
    ::SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ::UpdateWindow(button);
}

// The control's drawing on a white memory surface, as 0x00RRGGBB pixels.
std::vector<COLORREF> Snapshot(HWND parent, HWND control) {
    RECT rc{};
    ::GetClientRect(control, &rc);
    platform::WindowDc screen(control);
    platform::UniqueMemoryDc dc(::CreateCompatibleDC(screen.Get()));
    platform::UniqueBitmap bmp(::CreateCompatibleBitmap(screen.Get(), rc.right, rc.bottom));
    platform::SelectObjectScope sel(dc.Get(), bmp.Get());
    ::FillRect(dc.Get(), &rc, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(::GetDlgCtrlID(control));
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = control;
    item.hDC = dc.Get();
    item.rcItem = rc;
    ::SendMessageA(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
    std::vector<COLORREF> pixels;
    for (int y = 0; y < rc.bottom; ++y)
        for (int x = 0; x < rc.right; ++x)
            pixels.push_back(::GetPixel(dc.Get(), x, y));
    return pixels;
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
            if (shape != (::PtInRegion(region.Get(), x, y) != 0)) {
                if (++mismatches < 5)
                    ADD_FAILURE() << "mask " << maskId << " pixel (" << x << "," << y << ") shape " << shape;
            }
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(inside, 0) << "mask " << maskId << " has no shape";
}

TEST(RegionFromMask, RegionHoldsExactlyTheShapeOfGeneratedMasks) {
    Host host;
    // A round key, a wide key with a hole-free outline, and the panel's own outline.
    const struct {
        UINT image, mask;
    } keys[] = {{140, 139}, {282, 281}, {457, 458}};
    int id = 100;
    for (const auto& k : keys) {
        host.AddChild("BUTTON", id, 10, 10);
        CJoliBouton key;
        ASSERT_TRUE(key.Attach(id, host.GetHwnd()));
        key.SetBitmaps(static_cast<uint16_t>(k.image), static_cast<uint16_t>(k.mask),
                       static_cast<uint16_t>(k.image), static_cast<uint16_t>(k.mask));
        ExpectRegionMatchesMask(key.GetHwnd(), k.mask, 1);
        ++id;
    }
    platform::UniqueBitmap panelMask = LoadSkinBitmap(284);
    EXPECT_TRUE(ApplyMaskRegion(host.GetHwnd(), panelMask.Get()));
    ExpectRegionMatchesMask(host.GetHwnd(), 284, 3);
}

TEST(RegionFromMask, MaskOfWrongFormatIsReportedAndLeavesTheWindowRectangular) {
    Host host;
    host.AddChild("BUTTON", 200, 10, 10);
    std::atomic<bool> stop{false};
    std::string seen;
    // The message box runs modally on this thread; another thread reads and dismisses it.
    std::thread dismisser([&] {
        while (!stop) {
            HWND box = ::FindWindowA("#32770", nullptr);
            char text[256] = {};
            // The box is found while it is still being built: wait until it is shown.
            if (box && ::IsWindowVisible(box) && ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text) > 0) {
                seen = text;
                ::PostMessageA(box, WM_COMMAND, IDOK, 0);
                return;
            }
            ::Sleep(20);
        }
    });
    CTextDisplay display;
    ASSERT_TRUE(display.Attach(200, host.GetHwnd()));
    display.SetBitmaps(183, 129); // a colour picture given as the mask
    stop = true;
    dismisser.join();
    EXPECT_EQ(seen, kMaskFormatMessage);
    platform::UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(::GetWindowRgn(display.GetHwnd(), region.Get()), ERROR);
}

TEST(StateControls, SetStateRepaintsOnlyForANewStateInRange) {
    Host host;
    host.AddChild("BUTTON", 300, 10, 10);
    host.AddChild("BUTTON", 301, 200, 10);
    host.AddChild("BUTTON", 302, 400, 10);
    CAfficheur3Etats build;
    CAfficheur6Etats views;
    CAfficheur2Etats lamp;
    build.Attach(300, host.GetHwnd());
    views.Attach(301, host.GetHwnd());
    lamp.Attach(302, host.GetHwnd());
    build.SetBitmaps(252, 251, 254, 253, 250, 249);
    const uint32_t images[6] = {499, 488, 490, 494, 496, 498}, masks[6] = {487, 489, 491, 495, 497, 486};
    views.SetBitmaps(images, masks);
    lamp.SetBitmaps(137, 136, 138, 136);
    Pump(50);

    build.SetState(0);
    EXPECT_FALSE(HasPendingPaint(build.GetHwnd())) << "same state repainted";
    build.SetState(3);
    EXPECT_EQ(build.GetState(), 0);
    EXPECT_FALSE(HasPendingPaint(build.GetHwnd())) << "state 3 of a three-state display";
    build.SetState(2);
    EXPECT_EQ(build.GetState(), 2);
    EXPECT_TRUE(HasPendingPaint(build.GetHwnd()));

    views.SetState(6);
    views.SetState(-1);
    EXPECT_EQ(views.GetState(), 0);
    EXPECT_FALSE(HasPendingPaint(views.GetHwnd()));
    views.SetState(5);
    EXPECT_EQ(views.GetState(), 5);

    lamp.SetState(0);
    EXPECT_FALSE(HasPendingPaint(lamp.GetHwnd()));
    lamp.SetState(1);
    EXPECT_TRUE(HasPendingPaint(lamp.GetHwnd()));
}

TEST(StateControls, PressTogglesAndCyclesOncePerPress) {
    Host host;
    host.AddChild("BUTTON", 400, 10, 10);
    host.AddChild("BUTTON", 401, 200, 10);
    CBouton2Etats voice;
    CBoutonRond selector;
    voice.Attach(400, host.GetHwnd());
    selector.Attach(401, host.GetHwnd());
    voice.SetBitmaps(131, 130, 132, 130);
    selector.SetBitmaps(241, 237, 240, 239, 242, 238);
    Pump(50);

    Click(voice.GetHwnd());
    EXPECT_EQ(voice.GetState(), 1);
    Click(voice.GetHwnd());
    EXPECT_EQ(voice.GetState(), 0);
    EXPECT_EQ(host.ClicksOf(400), 2);

    // Repainted while held, the key still steps once.
    ::SendMessageA(voice.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    for (int i = 0; i < 3; ++i) {
        ::InvalidateRect(voice.GetHwnd(), nullptr, FALSE);
        ::UpdateWindow(voice.GetHwnd());
    }
    ::SendMessageA(voice.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(voice.GetState(), 1);

    std::vector<int> seen;
    for (int i = 0; i < 3; ++i) {
        Click(selector.GetHwnd());
        seen.push_back(selector.GetState());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 0}));
    selector.SetCycleOnPress(false);
    Click(selector.GetHwnd());
    EXPECT_EQ(selector.GetState(), 0);
    EXPECT_EQ(host.ClicksOf(401), 4);
}

class AutoClick : public ::testing::Test {
protected:
    void SetUp() override {
        host.AddChild("BUTTON", 500, 300, 300);
        ASSERT_TRUE(key.Attach(500, host.GetHwnd()));
        key.SetBitmaps(180, 179, 181, 179);
        RECT rc{};
        ::GetWindowRect(key.GetHwnd(), &rc);
        // The pointer rests on the key, as a finger holding it would.
        ::SetCursorPos((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        Pump(50);
        host.clicks.clear();
    }
    Host host;
    CAutoClickButton key;
};

TEST_F(AutoClick, HoldingSendsARepeatEveryPeriodThenTheClickAtRelease) {
    ::SendMessageA(key.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    Pump(1100);
    EXPECT_EQ(host.ClicksOf(500), 5) << "repeats near 200, 400, 600, 800 and 1000 ms";
    ::SendMessageA(key.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(host.ClicksOf(500), 6);
    Pump(450);
    EXPECT_EQ(host.ClicksOf(500), 6) << "no repeat after the release";
    EXPECT_FALSE(key.IsRepeating());
}

TEST_F(AutoClick, LosingThePressWithoutReleaseStopsTheRepeat) {
    ::SendMessageA(key.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    Pump(500);
    const int before = host.ClicksOf(500);
    EXPECT_EQ(before, 2);
    ::ReleaseCapture(); // e.g. a message box took the mouse
    Pump(600);
    EXPECT_EQ(host.ClicksOf(500), before);
    EXPECT_FALSE(key.IsRepeating());
}

TEST_F(AutoClick, DoubleClickNotifiesAtOnceWithoutRepeat) {
    ::SendMessageA(key.GetHwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(host.ClicksOf(500), 1);
    Pump(450);
    EXPECT_FALSE(key.IsRepeating());
    EXPECT_EQ(host.ClicksOf(500), 1);
    ::SendMessageA(key.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
}

TEST(Displays, SpecialDisplayShowsItsTextOnlyWhileOff) {
    Host host;
    host.AddChild("BUTTON", 600, 10, 10);
    CSpecialDisplay angle;
    angle.Attach(600, host.GetHwnd());
    angle.SetBitmaps(457, 485, 458);
    angle.SetFont("ARIAL", 12);
    auto drawn = [&](const char* text) {
        angle.SetText(text);
        return Snapshot(host.GetHwnd(), angle.GetHwnd());
    };
    EXPECT_NE(drawn("45\xB0"), drawn("")) << "text missing while off";
    angle.SetState(true);
    EXPECT_EQ(drawn("45\xB0"), drawn("")) << "text shown while on";
    angle.SetState(false);
    EXPECT_NE(drawn("45\xB0"), drawn(""));
}

TEST(Displays, SpaceDisplaySeesAChangeBeyondAnyLength) {
    Host host;
    host.AddChild("STATIC", 601, 10, 10, 300, 20);
    CSpaceDisplay caption;
    caption.Attach(601, host.GetHwnd());
    std::string text(200, 'a');
    caption.SetText(text);
    text[150] = 'b';
    caption.SetText(text);
    char back[256] = {};
    ::GetWindowTextA(caption.GetHwnd(), back, sizeof back);
    EXPECT_EQ(std::string(back), text);
}

std::vector<COLORREF> PreviewRow(CStaticPreview& preview, int bw, int bh, int row) {
    platform::WindowDc screen(preview.GetHwnd());
    platform::UniqueBitmap picture(::CreateCompatibleBitmap(screen.Get(), bw, bh));
    {
        platform::UniqueMemoryDc dc(::CreateCompatibleDC(screen.Get()));
        platform::SelectObjectScope sel(dc.Get(), picture.Get());
        platform::UniqueBrush red(::CreateSolidBrush(RGB(255, 0, 0)));
        const RECT all{0, 0, bw, bh};
        ::FillRect(dc.Get(), &all, red.Get());
    }
    preview.SetPreview(picture.Get());
    ::UpdateWindow(preview.GetHwnd());
    std::vector<COLORREF> pixels;
    for (int x = 0; x < 100; ++x)
        pixels.push_back(::GetPixel(screen.Get(), x, row));
    preview.SetPreview(nullptr);
    return pixels;
}

TEST(Preview, CentresThePictureInBlackMargins) {
    Host host;
    host.AddChild("STATIC", 700, 10, 10, 100, 50);
    CStaticPreview preview;
    ASSERT_TRUE(preview.Attach(700, host.GetHwnd()));
    const COLORREF red = RGB(255, 0, 0), black = RGB(0, 0, 0);

    auto exact = PreviewRow(preview, 100, 50, 25);
    EXPECT_EQ(exact.front(), red);
    EXPECT_EQ(exact.back(), red);

    auto narrower = PreviewRow(preview, 90, 50, 25);
    for (int x = 0; x < 100; ++x)
        EXPECT_EQ(narrower[x], (x < 5 || x >= 95) ? black : red) << "column " << x;

    // An odd difference: 4 columns on the left, 5 on the right, none left unpainted.
    auto odd = PreviewRow(preview, 91, 50, 25);
    EXPECT_EQ(odd[3], black);
    EXPECT_EQ(odd[4], red);
    EXPECT_EQ(odd[94], red);
    EXPECT_EQ(odd[95], black);

    auto wider = PreviewRow(preview, 300, 20, 2); // cropped left and right, framed top and bottom
    EXPECT_EQ(wider[0], black);
    auto widerMiddle = PreviewRow(preview, 300, 20, 25);
    EXPECT_EQ(widerMiddle[0], red);
    EXPECT_EQ(widerMiddle[99], red);

    HBITMAP none = preview.SetPreview(nullptr);
    EXPECT_EQ(none, nullptr);
    ::InvalidateRect(preview.GetHwnd(), nullptr, FALSE);
    ::UpdateWindow(preview.GetHwnd());
    platform::WindowDc screen(preview.GetHwnd());
    EXPECT_EQ(::GetPixel(screen.Get(), 50, 25), black);
}

} // namespace
