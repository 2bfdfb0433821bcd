#include "platform/BoxWatcher.h"

#include <cstring>
#include <utility>

namespace platform {

BoxWatcher::BoxWatcher() : m_thread([this] { Run(); }) {}

BoxWatcher::~BoxWatcher() {
    m_stop = true;
    m_thread.join();
}

std::vector<std::string> BoxWatcher::Texts() {
    std::lock_guard lock(m_mutex);
    return m_texts;
}

std::vector<std::string> BoxWatcher::TakeTexts() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_texts, {});
}

BOOL CALLBACK BoxWatcher::Answer(HWND wnd, LPARAM self) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(wnd, &process);
    char name[16] = {};
    ::GetClassNameA(wnd, name, sizeof name);
    // A message box: a dialog of this process with a static text (id 0xFFFF).
    if (process != ::GetCurrentProcessId() || std::strcmp(name, "#32770") != 0 || !::GetDlgItem(wnd, 0xFFFF))
        return TRUE;
    auto* watcher = reinterpret_cast<BoxWatcher*>(self);
    if (wnd != watcher->m_lastBox) {
        watcher->m_lastBox = wnd;
        char text[1024] = {};
        ::GetWindowTextA(::GetDlgItem(wnd, 0xFFFF), text, sizeof text);
        std::lock_guard lock(watcher->m_mutex);
        watcher->m_texts.push_back(text);
    }
    for (int button : {IDOK, IDRETRY, IDCANCEL, watcher->m_yesNo.load()}) {
        if (::GetDlgItem(wnd, button)) {
            ::PostMessageA(wnd, WM_COMMAND, button, 0);
            break;
        }
    }
    return TRUE;
}

void BoxWatcher::Run() {
    while (!m_stop) {
        ::EnumWindows(&Answer, reinterpret_cast<LPARAM>(this));
        ::Sleep(20);
    }
}

} // namespace platform
