// What the Wine tests share whatever they drive: build-tree paths as Windows paths, a bounded wait,
// the emulator's in-process bus library, and a screen area saved as a bitmap for a look.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <type_traits>

namespace winkit {

using EmuControlFn = int (*)(const char*, char*, int);

// A path of the build tree as Wine sees it.
inline std::string WinePath(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return "Z:" + path;
}

// Polls until done() or the time-out: a busy machine gets its time, a wrong path fails instead of hanging.
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 20000) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(5);
    }
    return true;
}

// The emulator's bus library loaded from its folder: its bus functions into `api`, its control line.
template <typename BusApi> bool LoadEmulatorBus(const char* folder, BusApi& api, EmuControlFn& control) {
    HMODULE bus = ::LoadLibraryA(WinePath(std::string(folder) + "/Nxjbus.dll").c_str());
    if (!bus)
        return false;
    auto get = [bus](const char* name, auto& function) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            reinterpret_cast<void*>(::GetProcAddress(bus, name)));
    };
    get("JbusOpen", api.open);
    get("JbusClose", api.close);
    get("JbusReadSeveralWords", api.readSeveralWords);
    get("JbusWriteOneWord", api.writeOneWord);
    get("JbusWriteSeveralWords", api.writeSeveralWords);
    get("EmuControl", control);
    return control != nullptr;
}

// The screen under `area` into a 24-bit BMP file.
inline bool SaveScreenArea(const RECT& area, const std::string& path) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
    ::GdiFlush();
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(stride * static_cast<DWORD>(h)));
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return out.good();
}

// With the environment variable `dirVariable` set, the window as it is on the screen into DIR/name.bmp.
inline void ScreenshotIfAsked(const char* dirVariable, HWND wnd, const char* name) {
    const char* dir = std::getenv(dirVariable);
    if (!dir)
        return;
    ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::Sleep(300);
    RECT area{};
    ::GetWindowRect(wnd, &area);
    SaveScreenArea(area, std::string(dir) + "\\" + name + ".bmp");
}

} // namespace winkit
