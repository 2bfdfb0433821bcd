// Window objects: creation, subclassing, dispatch and reflection.
#include "platform/Window.h"

#include "platform/Module.h"

namespace platform {
namespace {
// A window property rather than GWLP_USERDATA alone identifies our objects: a subclassed standard
// control or a foreign child may use its user data for something else, and the module runs inside
// the host's process.
constexpr char kObjectProperty[] = "Lumen70.WindowObject";
} // namespace

Window::~Window() {
    if (m_previousProc)
        Detach();
    else if (m_hwnd && ::IsWindow(m_hwnd)) {
        UnbindObject(m_hwnd);
        ::DestroyWindow(m_hwnd);
    }
    m_hwnd = nullptr;
}

void Window::BindObject(HWND wnd, Window* object) noexcept { ::SetPropA(wnd, kObjectProperty, object); }
void Window::UnbindObject(HWND wnd) noexcept { ::RemovePropA(wnd, kObjectProperty); }

Window* Window::FromHandle(HWND wnd) noexcept {
    return wnd ? static_cast<Window*>(::GetPropA(wnd, kObjectProperty)) : nullptr;
}

bool Window::RegisterClassOnce(const char* className, UINT classStyle, HBRUSH background, HCURSOR cursor) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExA(ResourceModule(), className, &existing))
        return true;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = &Window::StaticWindowProc;
    wc.hInstance = ResourceModule();
    wc.hCursor = cursor ? cursor : ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return ::RegisterClassExA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND Window::CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                      int width, int height, HWND parent, HMENU menuOrId) {
    return ::CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, menuOrId,
                             ResourceModule(), this);
}

void Window::Destroy() {
    if (m_hwnd && ::IsWindow(m_hwnd))
        ::DestroyWindow(m_hwnd);
}

bool Window::Attach(HWND wnd) {
    if (!wnd || m_hwnd || FromHandle(wnd))
        return false;
    m_hwnd = wnd;
    BindObject(wnd, this);
    m_previousProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::StaticSubclassProc)));
    return true;
}

void Window::Detach() {
    if (m_hwnd && m_previousProc && ::IsWindow(m_hwnd)) {
        ::SetWindowLongPtrA(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
        UnbindObject(m_hwnd);
    }
    m_previousProc = nullptr;
    m_hwnd = nullptr;
}

bool Window::OnMessageReflect(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

bool Window::ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HWND child = nullptr;
    switch (msg) {
    case WM_DRAWITEM:
        child = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
        break;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        child = reinterpret_cast<HWND>(lParam);
        break;
    case WM_NOTIFY:
        child = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
        break;
    default:
        return false;
    }
    Window* object = FromHandle(child);
    return object && object->OnMessageReflect(msg, wParam, lParam, result);
}

LRESULT Window::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT reflected = 0;
    if (ReflectToChild(msg, wParam, lParam, reflected))
        return reflected;
    return FinalWindowProc(msg, wParam, lParam);
}

LRESULT Window::FinalWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (m_previousProc)
        return ::CallWindowProcA(m_previousProc, m_hwnd, msg, wParam, lParam);
    return ::DefWindowProcA(m_hwnd, msg, wParam, lParam);
}

LRESULT Window::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND wnd = m_hwnd;
    LRESULT result = 0;
    try {
        result = WndProc(msg, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the system or the host.
        result = 0;
    }
    if (msg == WM_NCDESTROY) {
        WNDPROC previous = m_previousProc;
        UnbindObject(wnd);
        if (previous)
            ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        m_previousProc = nullptr;
        m_hwnd = nullptr;
        try {
            OnNcDestroy();
        } catch (...) {
        }
    }
    return result;
}

LRESULT CALLBACK Window::StaticWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* object = FromHandle(wnd);
    if (!object && msg == WM_NCCREATE) {
        object = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (object) {
            object->m_hwnd = wnd;
            BindObject(wnd, object);
            ::SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        }
    }
    if (!object)
        return ::DefWindowProcA(wnd, msg, wParam, lParam);
    return object->Dispatch(msg, wParam, lParam);
}

LRESULT CALLBACK Window::StaticSubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* object = FromHandle(wnd);
    if (!object)
        return ::DefWindowProcA(wnd, msg, wParam, lParam);
    return object->Dispatch(msg, wParam, lParam);
}

} // namespace platform
