// Thin window layer in place of a framework: one C++ object per window (own class or subclassed
// control), messages dispatched to a virtual WndProc, WM_DRAWITEM and WM_CTLCOLOR* reflected to the
// child control's object so owner-drawn controls paint themselves, and WM_NOTIFY to the control that
// sent it so a list handles its own notifications.
#pragma once

#include <windows.h>

namespace platform {

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND GetHwnd() const noexcept { return m_hwnd; }
    bool IsCreated() const noexcept { return m_hwnd != nullptr && ::IsWindow(m_hwnd); }

    // Registers a window class of this layer once per process (idempotent).
    static bool RegisterClassOnce(const char* className, UINT classStyle = CS_DBLCLKS,
                                  HBRUSH background = nullptr, HCURSOR cursor = nullptr);
    // Creates a window of a class registered with RegisterClassOnce; this object receives its messages.
    HWND CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                  int width, int height, HWND parent, HMENU menuOrId);
    void Destroy();

    // Subclasses an existing window (typically a dialog's control) so this object handles it.
    bool Attach(HWND wnd);
    bool AttachDlgItem(HWND dialog, int id) { return Attach(::GetDlgItem(dialog, id)); }
    void Detach();

    // The object of one of our windows, or null for a foreign window.
    static Window* FromHandle(HWND wnd) noexcept;

    // Called by the parent for WM_DRAWITEM, WM_CTLCOLOR* and WM_NOTIFY aimed at this control.
    // Return true and set result when handled.
    virtual bool OnMessageReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Forwards a reflectable message to the child it concerns; true when the child handled it.
    static bool ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

protected:
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // The default handling: the subclassed window's original procedure, or DefWindowProc.
    LRESULT FinalWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Last message of the window; the handle is cleared after it.
    virtual void OnNcDestroy() {}

    void SetHwnd(HWND wnd) noexcept { m_hwnd = wnd; }
    static void BindObject(HWND wnd, Window* object) noexcept;
    static void UnbindObject(HWND wnd) noexcept;

private:
    static LRESULT CALLBACK StaticWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK StaticSubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    WNDPROC m_previousProc = nullptr; // set while subclassing a foreign window class
};

} // namespace platform
