// Answers this process's message boxes from a thread of its own and keeps their texts, for programs
// that drive the module unattended (the conformance kit, the test hosts): a box nobody answers would
// hold the thread that raised it for ever.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class BoxWatcher {
public:
    // Presses OK, else Retry, else Cancel, else the answer given to questions (IDNO at first).
    BoxWatcher();
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // IDYES or IDNO for the next questions.
    void AnswerQuestions(int answer) { m_yesNo = answer; }
    // The texts of the boxes answered so far, oldest first; TakeTexts also forgets them.
    std::vector<std::string> Texts();
    std::vector<std::string> TakeTexts();

private:
    static BOOL CALLBACK Answer(HWND wnd, LPARAM self);
    void Run();

    // The display driver is brought up on the owner's thread first: brought up by the watcher's
    // first EnumWindows while a module's load holds the loader lock, it deadlocked with the module's
    // screen check.
    int m_screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_yesNo{IDNO};
    HWND m_lastBox = nullptr; // the watcher's thread only
    std::mutex m_mutex;
    std::vector<std::string> m_texts;
    std::thread m_thread; // last: started once everything above is ready
};

} // namespace platform
