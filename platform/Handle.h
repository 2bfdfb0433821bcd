// Move-only owner of one Win32 handle (kernel objects, registry keys, GDI objects, modules, DCs,
// menus, cursors); the traits say what "none" is and how the handle is released.
#pragma once

#include <windows.h>

#include <utility>

namespace platform {

template <typename Traits> class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type h) noexcept : m_h(h) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return !Traits::IsNone(m_h); }

    // Gives up ownership, e.g. when the system takes the handle over (SetWindowRgn).
    Type Release() noexcept { return std::exchange(m_h, Traits::None()); }

    void Reset(Type h = Traits::None()) noexcept {
        Type old = std::exchange(m_h, h);
        if (!Traits::IsNone(old))
            Traits::Close(old);
    }

private:
    Type m_h = Traits::None();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type None() { return nullptr; }
    static bool IsNone(Type h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type None() { return nullptr; }
    static bool IsNone(Type h) { return h == nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};
template <typename T> struct GdiObjectTraits {
    using Type = T;
    static Type None() { return nullptr; }
    static bool IsNone(Type h) { return h == nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
struct MemoryDcTraits {
    using Type = HDC;
    static Type None() { return nullptr; }
    static bool IsNone(Type h) { return h == nullptr; }
    static void Close(Type h) { ::DeleteDC(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type None() { return nullptr; }
    static bool IsNone(Type h) { return h == nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type None() { return nullptr; }
    static bool IsNone(Type h) { return h == nullptr; }
    static void Close(Type h) { ::DestroyMenu(h); }
};
struct CursorTraits {
    using Type = HCURSOR;
    static Type None() { return nullptr; }
    static bool IsNone(Type h) { return h == nullptr; }
    static void Close(Type h) { ::DestroyCursor(h); }
};
struct IconTraits {
    using Type = HICON;
    static Type None() { return nullptr; }
    static bool IsNone(Type h) { return h == nullptr; }
    static void Close(Type h) { ::DestroyIcon(h); }
};
struct WindowTraits {
    using Type = HWND;
    static Type None() { return nullptr; }
    static bool IsNone(Type h) { return h == nullptr; }
    static void Close(Type h) {
        if (::IsWindow(h))
            ::DestroyWindow(h);
    }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueRegion = UniqueHandle<GdiObjectTraits<HRGN>>;
using UniquePen = UniqueHandle<GdiObjectTraits<HPEN>>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueCursor = UniqueHandle<CursorTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;

// Selects a GDI object into a DC for a scope and puts the previous one back.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ obj) noexcept : m_dc(dc), m_old(::SelectObject(dc, obj)) {}
    ~SelectObjectScope() {
        if (m_old)
            ::SelectObject(m_dc, m_old);
    }
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// A window's DC for a scope (GetDC / ReleaseDC).
class WindowDc {
public:
    explicit WindowDc(HWND wnd) noexcept : m_wnd(wnd), m_dc(::GetDC(wnd)) {}
    ~WindowDc() {
        if (m_dc)
            ::ReleaseDC(m_wnd, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const noexcept { return m_dc; }

private:
    HWND m_wnd;
    HDC m_dc;
};

// BeginPaint / EndPaint for a scope.
class PaintDc {
public:
    explicit PaintDc(HWND wnd) noexcept : m_wnd(wnd) { m_dc = ::BeginPaint(wnd, &m_ps); }
    ~PaintDc() { ::EndPaint(m_wnd, &m_ps); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC Get() const noexcept { return m_dc; }
    const PAINTSTRUCT& Info() const noexcept { return m_ps; }

private:
    HWND m_wnd;
    PAINTSTRUCT m_ps{};
    HDC m_dc = nullptr;
};

} // namespace platform
