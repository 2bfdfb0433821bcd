// The service menu of the live panel, from outside: the popup the information button opens in each
// design with and without technical access, the commands sent to the unit, every service dialog
// opened by its command while the panel keeps polling, and the system information's log and mail
// through a recording MAPI32.DLL.
#include "PanelHarness.h"
#include "RecordingMapi.h"

#include <fstream>
#include <set>
#include <tuple>

namespace {

constexpr int kInformationButton = 1003;
constexpr UINT kAbout = 33601, kSystemInformation = 33619;

std::string LanguageText(UINT id) {
    char text[1024] = {};
    ::LoadStringA(::GetModuleHandleA("NxLang.dll"), id, text, sizeof text);
    return text;
}
std::string Text(HWND wnd) {
    std::string text(static_cast<size_t>(::GetWindowTextLengthA(wnd)) + 1, '\0');
    text.resize(static_cast<size_t>(::GetWindowTextA(wnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// A visible window of this process of the given class, other than `except`, not a message box.
HWND FindVisible(const char* className, HWND except = nullptr) {
    for (HWND wnd = nullptr; (wnd = ::FindWindowExA(nullptr, wnd, className, nullptr)) != nullptr;) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(wnd, &process);
        if (process == ::GetCurrentProcessId() && wnd != except && ::IsWindowVisible(wnd) &&
            !::GetDlgItem(wnd, 0xFFFF))
            return wnd;
    }
    return nullptr;
}

// With LUMEN_MENU_SCREENS set, the window as it is on the screen into DIR/name.bmp.
void Screenshot(HWND wnd, const char* name) { winkit::ScreenshotIfAsked("LUMEN_MENU_SCREENS", wnd, name); }

// The command items of a menu, greyed or not (separators and branches left out).
std::set<UINT> Ids(HMENU menu, bool greyed) {
    std::set<UINT> ids;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i)
        if (const UINT id = ::GetMenuItemID(menu, i);
            id != 0 && id != static_cast<UINT>(-1) &&
            ((::GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED) != 0) == greyed)
            ids.insert(id);
    return ids;
}

class ServiceMenu : public LivePanel {
protected:
    // Clicks the information button and waits for the popup; its menu handle.
    HMENU OpenPopup(HWND& popup) {
        ::SetForegroundWindow(panel);
        ::PostMessageA(panel, WM_COMMAND, MAKEWPARAM(kInformationButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(panel, kInformationButton)));
        if (!WaitFor([&] { return (popup = FindVisible("#32768")) != nullptr; }))
            return nullptr;
        return reinterpret_cast<HMENU>(::SendMessageA(popup, MN_GETHMENU, 0, 0));
    }
    bool ClosePopup() {
        // Escape closes one level of the menu at a time.
        for (int level = 0; level < 3; ++level) {
            if (HWND shown = FindVisible("#32768"))
                ::PostMessageA(shown, WM_KEYDOWN, VK_ESCAPE, 0);
            if (WaitFor([] { return FindVisible("#32768") == nullptr; }, 700))
                return true;
        }
        ::PostMessageA(panel, WM_CANCELMODE, 0, 0);
        return WaitFor([] { return FindVisible("#32768") == nullptr; });
    }
    // Posts a command that opens a dialog and waits for it.
    HWND OpenDialog(UINT command) {
        ::PostMessageA(panel, WM_COMMAND, command, 0);
        HWND dialog = nullptr;
        WaitFor([&] { return (dialog = FindVisible("#32770", panel)) != nullptr; });
        return dialog;
    }
    bool CloseDialog(HWND dialog) {
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        // A run of several dialogs (the calibrations) may show the next one: cancel each.
        return WaitFor([&] {
            HWND shown = FindVisible("#32770", panel);
            if (shown && shown != dialog)
                ::PostMessageA(dialog = shown, WM_COMMAND, IDCANCEL, 0);
            return shown == nullptr;
        });
    }
};

// The user menu without technical access; with it, the two technical branches, whole and with the
// design's special programs greyed at every opening.
TEST_F(ServiceMenu, PopupIsTheUserMenuOrTheTwoTechnicalBranchesWithTheDesignsSpecialProgramsGreyed) {
    const struct {
        const char* unit;
        unsigned char mode;
        const char* name;
        std::set<UINT> greyed;
    } designs[] = {
        {"2.10", 1, "design2", {33622, 33623}},
        {"2.10", 0, "design3", {33620, 33621}},
    };
    const std::set<UINT> technicalOnly = {33604, 33607, 33609, 33610, 33612, 33613, 33614, 33615,
                                          33616, 33617, 33618, 33620, 33621, 33622, 33623};
    for (const auto& design : designs) {
        SCOPED_TRACE(design.name);
        module.reset();
        ASSERT_NO_FATAL_FAILURE(Load(design.unit, design.name));
        Start(design.mode);
        ASSERT_TRUE(Polls(2));
        const bool shoot = std::strcmp(design.name, "design2") == 0;
        HWND popup = nullptr;
        HMENU user = OpenPopup(popup);
        ASSERT_NE(user, nullptr) << "the information button opens a popup";
        const std::set<UINT> userIds = Ids(user, false);
        EXPECT_TRUE(userIds.count(kAbout) && userIds.count(kSystemInformation));
        for (UINT id : technicalOnly)
            EXPECT_EQ(userIds.count(id), 0u) << id << " is out of reach without technical access";
        if (shoot)
            Screenshot(panel, "menu-user");
        ASSERT_TRUE(ClosePopup());

        Unit("technical on");
        ASSERT_TRUE(WaitFor([&] { return LogLinesWith("Access to the technical menu") > 0; }));
        ASSERT_TRUE(Polls(1));
        for (int opening = 0; opening < 2; ++opening) {
            HMENU technical = OpenPopup(popup);
            ASSERT_NE(technical, nullptr);
            ASSERT_EQ(::GetMenuItemCount(technical), 2);
            HMENU settings = ::GetSubMenu(technical, 0), calibrations = ::GetSubMenu(technical, 1);
            std::set<UINT> all = Ids(settings, false), greyed = Ids(calibrations, true),
                           open = Ids(calibrations, false);
            EXPECT_EQ(greyed, design.greyed);
            EXPECT_TRUE(Ids(settings, true).empty());
            all.insert(greyed.begin(), greyed.end());
            all.insert(open.begin(), open.end());
            EXPECT_TRUE(std::includes(all.begin(), all.end(), technicalOnly.begin(), technicalOnly.end()));
            if (opening == 0 && shoot) { // the second branch opened, its greyed items in view
                for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RIGHT})
                    ::PostMessageA(popup, WM_KEYDOWN, key, 0);
                ::Sleep(300);
                Screenshot(panel, "menu-technical");
            }
            ASSERT_TRUE(ClosePopup());
        }
        Unit("technical off");
        Close();
    }
}

// The commands act whatever menu they came from: the questioned ones on Yes only; a set points' reset
// the unit refuses is told, the calibration table's is not. The dialogs open over the polling panel.
TEST_F(ServiceMenu, CommandsActWithoutTechnicalAccessAndDialogsKeepThePanelPolling) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(Polls(2));
    const std::string ask = LanguageText(4135);
    const struct {
        UINT command;
        int answer;
        const char* fault; // the unit refuses the word
        uint16_t word;
        std::vector<std::string> boxes;
    } cases[] = {
        {33618, IDNO, nullptr, 0x0404, {}}, // the cephalometry switch asks nothing
        {33609, IDNO, nullptr, 0x0082, {ask}},
        {33609, IDYES, nullptr, 0x0082, {ask}},
        {33617, IDYES, "fault exception 4 1 on command 0x0382", 0x0382, {ask, LanguageText(4070)}},
        {33616, IDYES, "fault exception 4 1 on command 0x0182", 0x0182, {ask}},
    };
    for (const auto& c : cases) {
        Unit("command 0x7004"); // back to a panoramic program
        if (c.fault)
            Unit(c.fault);
        TakeCommands();
        boxes.AnswerQuestions(c.answer);
        ::SendMessageA(panel, WM_COMMAND, c.command, 0);
        EXPECT_EQ(Sent(c.word), !c.fault && (c.answer == IDYES || c.boxes.empty()) ? 1u : 0u) << c.command;
        EXPECT_EQ(boxes.TakeTexts(), c.boxes) << c.command;
    }
    Unit("fault none");
    Close(); // a unit whose blocks were reset raises their errors: the dialogs meet a fresh one
    ASSERT_NO_FATAL_FAILURE(Load("2.10", "_dialogs"));
    Start(1);

    // Each service dialog keeps the panel polling behind it, the unit never told it went to the
    // background: about, system information, counters, communication, preferences, manufacturing, save and
    // restore, details, kV, mA and heating calibrations
    for (UINT command :
         {33601u, 33619u, 33602u, 33603u, 33604u, 33607u, 33610u, 33611u, 33612u, 33613u, 33614u}) {
        SCOPED_TRACE(command);
        ::SetForegroundWindow(panel);
        ASSERT_TRUE(StatusBecomes("panel", "1"));
        TakeCommands();
        HWND dialog = OpenDialog(command);
        ASSERT_NE(dialog, nullptr) << "the command opens its dialog";
        EXPECT_EQ(::GetWindow(dialog, GW_OWNER), panel);
        EXPECT_NE(::GetForegroundWindow(), panel);
        EXPECT_TRUE(Polls(3)) << "the panel keeps polling behind the dialog";
        EXPECT_EQ(Sent(0x0086), 0u) << "the unit is not told the panel went to the background";
        if (command == kAbout)
            Screenshot(dialog, "about-box");
        ASSERT_TRUE(CloseDialog(dialog));
    }
}

// The log shown whole (missing, past an edit control's default limit, a last line without an end),
// then mailed as an attachment with the failure said and the current folder put back.
TEST_F(ServiceMenu, SystemInformationShowsTheLogAndMailsItAsAnAttachment) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(Polls(1));
    const std::string path = harness::LogPath();
    for (const std::string& content :
         {std::string(), std::string(1024 * 1024 - 2, 'x') + "\r\n",
          std::string("3:[];Access to the technical menu;06/12/26 10h00min;f:1\r\nlast line without end")}) {
        ::DeleteFileA(path.c_str());
        if (!content.empty())
            std::ofstream(path, std::ios::binary) << content;
        HWND info = OpenDialog(kSystemInformation);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(Text(::GetDlgItem(info, 24002)), path);
        EXPECT_EQ(Text(::GetDlgItem(info, 24000)), content);
        if (content.size() < 100 && !content.empty())
            Screenshot(info, "system-information");
        ASSERT_TRUE(CloseDialog(info));
    }

    HMODULE mapi = ::LoadLibraryA("MAPI32.DLL");
    auto recorded = reinterpret_cast<void (*)(RecordedMailCall*)>(
        reinterpret_cast<void*>(::GetProcAddress(mapi, "RecordedMail")));
    auto setResult =
        reinterpret_cast<void (*)(ULONG)>(reinterpret_cast<void*>(::GetProcAddress(mapi, "SetMailResult")));
    ASSERT_TRUE(recorded && setResult) << "the recording MAPI32.DLL is the one loaded (DLL override)";
    char folderBefore[MAX_PATH] = {}, folderAfter[MAX_PATH] = {};
    ::GetCurrentDirectoryA(sizeof folderBefore, folderBefore);
    HWND info = OpenDialog(kSystemInformation);
    ASSERT_NE(info, nullptr);
    boxes.TakeTexts();
    setResult(10);
    ::SendMessageA(info, WM_COMMAND, MAKEWPARAM(24003, BN_CLICKED), 0);
    RecordedMailCall call{};
    recorded(&call);
    EXPECT_EQ(std::make_tuple(call.calls, call.flags, call.recipients, call.files, call.position,
                              call.fileNameGiven),
              std::make_tuple(1, 9ul, 0ul, 1ul, static_cast<ULONG>(-1), 0));
    EXPECT_EQ(std::string(call.path), path);
    EXPECT_EQ(std::string(call.subject), LanguageText(4197));
    EXPECT_EQ(std::string(call.note), LanguageText(4198));
    EXPECT_EQ(boxes.TakeTexts(),
              std::vector<std::string>{"Failed to send the message. Error: TOO_MANY_RECIPIENTS"});
    ::GetCurrentDirectoryA(sizeof folderAfter, folderAfter);
    EXPECT_STREQ(folderAfter, folderBefore) << "the current folder is put back";
    setResult(0);
    ASSERT_TRUE(CloseDialog(info));
}

} // namespace
