// The window layer: messages reach the object, reflection reaches the child, handles clean up.
#include "platform/Dialog.h"
#include "platform/Handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingWindow : public platform::Window {
public:
    std::vector<UINT> seen;
    bool ncDestroyed = false;

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_USER + 7 || msg == WM_CREATE)
            seen.push_back(msg);
        if (msg == WM_USER + 7)
            return 0x1234;
        return Window::WndProc(msg, wParam, lParam);
    }
    void OnNcDestroy() override { ncDestroyed = true; }
};

class ReflectingButton : public platform::Window {
public:
    int colourRequests = 0;
    bool OnMessageReflect(UINT msg, WPARAM, LPARAM, LRESULT& result) override {
        if (msg != WM_CTLCOLORBTN)
            return false;
        ++colourRequests;
        result = reinterpret_cast<LRESULT>(::GetStockObject(BLACK_BRUSH));
        return true;
    }
};

TEST(PlatformWindow, DispatchesToObjectAndCleansUpAtDestroy) {
    ASSERT_TRUE(platform::Window::RegisterClassOnce("LumenTestWindow"));
    RecordingWindow w;
    HWND wnd = w.CreateEx(0, "LumenTestWindow", "t", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr);
    ASSERT_NE(wnd, nullptr);
    EXPECT_EQ(platform::Window::FromHandle(wnd), &w);
    EXPECT_EQ(::SendMessageA(wnd, WM_USER + 7, 0, 0), 0x1234);
    ASSERT_EQ(w.seen.size(), 2u);
    EXPECT_EQ(w.seen[0], static_cast<UINT>(WM_CREATE));

    ::DestroyWindow(wnd);
    EXPECT_TRUE(w.ncDestroyed);
    EXPECT_EQ(w.GetHwnd(), nullptr);
    EXPECT_EQ(platform::Window::FromHandle(wnd), nullptr);
}

TEST(PlatformWindow, ReflectsColourMessagesToSubclassedChildOnly) {
    ASSERT_TRUE(platform::Window::RegisterClassOnce("LumenTestWindow"));
    RecordingWindow parent;
    HWND p = parent.CreateEx(0, "LumenTestWindow", "p", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr);
    HWND b = ::CreateWindowExA(0, "BUTTON", "b", WS_CHILD | BS_PUSHBUTTON, 0, 0, 50, 20, p, nullptr, nullptr, nullptr);
    HWND foreign = ::CreateWindowExA(0, "BUTTON", "f", WS_CHILD, 0, 30, 50, 20, p, nullptr, nullptr, nullptr);
    ReflectingButton button;
    ASSERT_TRUE(button.Attach(b));
    EXPECT_FALSE(button.Attach(foreign)) << "an object owns one window";

    LRESULT r = ::SendMessageA(p, WM_CTLCOLORBTN, 0, reinterpret_cast<LPARAM>(b));
    EXPECT_EQ(r, reinterpret_cast<LRESULT>(::GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(button.colourRequests, 1);
    ::SendMessageA(p, WM_CTLCOLORBTN, 0, reinterpret_cast<LPARAM>(foreign));
    EXPECT_EQ(button.colourRequests, 1);

    button.Detach();
    EXPECT_EQ(platform::Window::FromHandle(b), nullptr);
    ::DestroyWindow(p);
}

TEST(PlatformHandle, ReleasesOnceAndMovesOwnership) {
    platform::UniqueKernelHandle a(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(a);
    HANDLE raw = a.Get();
    platform::UniqueKernelHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.Get(), raw);
    b.Reset();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(::SetEvent(raw)) << "the event was closed";
}

} // namespace
