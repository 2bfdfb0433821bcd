// The service menu of the live panel, from outside: the popup the information button opens in each
// design with and without technical access, the commands sent to the unit, every service dialog
// opened by its command while the panel keeps polling, the about box against the emulator, and the
// system information's log and mail through a recording MAPI32.DLL.
#include "PanelHarness.h"

#include "emulator/History.h"

#include <fstream>
#include <set>

namespace {

constexpr int kInformationButton = 1003;
constexpr UINT kPanelInactive = 0x0086;

struct RecordedMailCall {
    int calls;
    ULONG flags, recipients, files, position;
    int fileNameGiven;
    char subject[256], note[256], path[MAX_PATH];
};

std::string LanguageText(UINT id) {
    char text[1024] = {};
    ::LoadStringA(::GetModuleHandleA("NxLang.dll"), id, text, sizeof text);
    return text;
}

std::string Text(HWND wnd) {
    const int length = ::GetWindowTextLengthA(wnd);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(::GetWindowTextA(wnd, text.data(), length + 1)));
    return text;
}

// A visible window of this process of the given class, other than `except`.
HWND FindVisible(const char* className, HWND except = nullptr) {
    struct Search {
        const char* className;
        HWND except, found;
    } search{className, except, nullptr};
    ::EnumWindows(
        [](HWND wnd, LPARAM data) {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD process = 0;
            ::GetWindowThreadProcessId(wnd, &process);
            char name[32] = {};
            ::GetClassNameA(wnd, name, sizeof name);
            if (process != ::GetCurrentProcessId() || wnd == s->except || !::IsWindowVisible(wnd) ||
                std::strcmp(name, s->className) != 0 || ::GetDlgItem(wnd, 0xFFFF))
                return TRUE;
            s->found = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// With LUMEN_MENU_SCREENS set, the screen's area under the rectangle into DIR/name.bmp.
void Screenshot(RECT area, const char* name) {
    if (const char* dir = std::getenv("LUMEN_MENU_SCREENS")) {
        ::Sleep(300);
        winkit::SaveScreenArea(area, std::string(dir) + "\\" + name + ".bmp");
    }
}

struct MenuItem {
    UINT id;
    bool greyed;
};

std::vector<MenuItem> Items(HMENU menu) {
    std::vector<MenuItem> items;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        const UINT id = ::GetMenuItemID(menu, i);
        if (id == 0 || id == static_cast<UINT>(-1))
            continue; // separators and branches
        items.push_back({id, (::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) != 0});
    }
    return items;
}

std::set<UINT> Ids(const std::vector<MenuItem>& items, bool greyed) {
    std::set<UINT> ids;
    for (const MenuItem& item : items)
        if (item.greyed == greyed)
            ids.insert(item.id);
    return ids;
}

class ServiceMenu : public LivePanel {
protected:
    // Clicks the information button and waits for the popup; its menu handle.
    HMENU OpenPopup(HWND* window = nullptr) {
        ::SetForegroundWindow(panel);
        ::PostMessageA(panel, WM_COMMAND, MAKEWPARAM(kInformationButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(panel, kInformationButton)));
        HWND popup = nullptr;
        if (!WaitFor([&] { return (popup = FindVisible("#32768")) != nullptr; }, 20000))
            return nullptr;
        if (window)
            *window = popup;
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
        return WaitFor([] { return FindVisible("#32768") == nullptr; }, 20000);
    }
    std::vector<emu::CommandRecord> Commands() {
        char reply[8192] = {};
        control("history commands", reply, sizeof reply);
        std::vector<emu::CommandRecord> records;
        EXPECT_TRUE(emu::history::ParseCommands(reply, records)) << reply;
        return records;
    }
    size_t Count(uint16_t word) { return emu::history::CountCommand(Commands(), word); }
    // Posts a command that opens a dialog and waits for it.
    HWND OpenDialog(UINT command) {
        ::PostMessageA(panel, WM_COMMAND, command, 0);
        HWND dialog = nullptr;
        WaitFor([&] { return (dialog = FindVisible("#32770", panel)) != nullptr; }, 20000);
        return dialog;
    }
    bool CloseDialog(HWND dialog) {
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        // A run of several dialogs (the calibrations) may show the next one: cancel each.
        return WaitFor(
            [&] {
                HWND shown = FindVisible("#32770", panel);
                if (shown && shown != dialog) {
                    dialog = shown;
                    ::PostMessageA(shown, WM_COMMAND, IDCANCEL, 0);
                }
                return shown == nullptr;
            },
            15000);
    }
};

TEST_F(ServiceMenu, PopupIsTheUserMenuOrTheTwoTechnicalBranchesWithTheDesignsSpecialProgramsGreyed) {
    const struct {
        const char* unit;
        unsigned char mode;
        const char* name;
        std::set<UINT> greyed;
    } designs[] = {
        {"1.02", 1, "design1", {33622, 33623}},
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

        HWND popup = nullptr;
        HMENU user = OpenPopup(&popup);
        ASSERT_NE(user, nullptr) << "the information button opens a popup";
        const std::set<UINT> userIds = Ids(Items(user), false);
        EXPECT_TRUE(userIds.count(33601) && userIds.count(33619)) << "about and system information";
        for (UINT id : technicalOnly)
            EXPECT_EQ(userIds.count(id), 0u) << id << " is out of reach without technical access";
        RECT area{};
        ::GetWindowRect(panel, &area);
        if (design.mode == 1 && design.unit[0] == '2')
            Screenshot(area, "menu-user");
        ASSERT_TRUE(ClosePopup());

        harness::DeleteLog();
        Unit("technical on");
        ASSERT_TRUE(WaitFor([&] { return LogLinesWith("Access to the technical menu") > 0; }, 20000));
        ASSERT_TRUE(Polls(1));
        // Twice: the branches come back whole and the greyed items stay greyed.
        for (int opening = 0; opening < 2; ++opening) {
            HMENU technical = OpenPopup(&popup);
            ASSERT_NE(technical, nullptr);
            ASSERT_EQ(::GetMenuItemCount(technical), 2);
            char caption[128] = {};
            ::GetMenuStringA(technical, 0, caption, sizeof caption, MF_BYPOSITION);
            EXPECT_EQ(caption, LanguageText(4185));
            ::GetMenuStringA(technical, 1, caption, sizeof caption, MF_BYPOSITION);
            EXPECT_EQ(caption, LanguageText(4186));
            const auto settings = Items(::GetSubMenu(technical, 0));
            const auto calibrations = Items(::GetSubMenu(technical, 1));
            EXPECT_EQ(Ids(calibrations, true), design.greyed);
            EXPECT_TRUE(Ids(settings, true).empty());
            std::set<UINT> reachable = Ids(settings, false);
            for (UINT id : Ids(calibrations, false))
                reachable.insert(id);
            for (UINT id : technicalOnly)
                EXPECT_TRUE(reachable.count(id) || design.greyed.count(id)) << id;
            if (opening == 0 && design.mode == 1 && design.unit[0] == '2') {
                // The second branch opened, its greyed items in view.
                for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RIGHT})
                    ::PostMessageA(popup, WM_KEYDOWN, key, 0);
                ::Sleep(300);
                Screenshot(area, "menu-technical");
            }
            ASSERT_TRUE(ClosePopup());
        }
        Unit("technical off");
        Close();
    }
}

TEST_F(ServiceMenu, CommandsReachTheUnitEvenWithoutTechnicalAccess) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(Polls(2));
    const struct {
        UINT command;
        int answer; // to the confirmation box
        uint16_t word;
        size_t sent;
    } cases[] = {
        {33618, IDNO, 0x0404, 1}, // the cephalometry switch asks nothing
        {33620, IDNO, 0x0804, 1},  {33623, IDNO, 0x0B04, 1}, {33609, IDNO, 0x0082, 0}, // answered No: nothing
        {33609, IDYES, 0x0082, 1}, {33616, IDNO, 0x0182, 0}, {33616, IDYES, 0x0182, 1},
        {33617, IDYES, 0x0382, 1},
    };
    for (const auto& c : cases) {
        Unit("command 0x7004"); // back to a panoramic program
        Unit("history clear");
        boxes.AnswerQuestions(c.answer);
        boxes.TakeTexts();
        ::SendMessageA(panel, WM_COMMAND, c.command, 0);
        EXPECT_EQ(Count(c.word), c.sent) << c.command << (c.answer == IDYES ? " yes" : " no");
        const auto texts = boxes.TakeTexts();
        const bool asks = c.command == 33609 || c.command == 33616 || c.command == 33617;
        EXPECT_EQ(texts, asks ? std::vector<std::string>{LanguageText(4135)} : std::vector<std::string>{})
            << c.command;
    }

    // The unit refusing the set points' reset: the operator is told.
    boxes.AnswerQuestions(IDYES);
    Unit("fault exception 4 1 on command 0x0382");
    ::SendMessageA(panel, WM_COMMAND, 33617, 0);
    EXPECT_EQ(boxes.TakeTexts(), (std::vector<std::string>{LanguageText(4135), LanguageText(4070)}));
    // The calibration table's reset ignores its result: no box after the question.
    Unit("fault exception 4 1 on command 0x0182");
    ::SendMessageA(panel, WM_COMMAND, 33616, 0);
    EXPECT_EQ(boxes.TakeTexts(), (std::vector<std::string>{LanguageText(4135)}));
    Unit("fault none");
}

TEST_F(ServiceMenu, EachServiceDialogKeepsThePanelTalkingToTheUnitWhileItIsUp) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(StatusBecomes("panel", "1"));
    // about, system information, counters, communication, preferences, manufacturing, save and
    // restore, details, kV, mA and heating calibrations
    for (UINT command :
         {33601u, 33619u, 33602u, 33603u, 33604u, 33607u, 33610u, 33611u, 33612u, 33613u, 33614u}) {
        SCOPED_TRACE(command);
        ::SetForegroundWindow(panel);
        ASSERT_TRUE(StatusBecomes("panel", "1"));
        Unit("history clear");
        HWND dialog = OpenDialog(command);
        ASSERT_NE(dialog, nullptr) << "the command opens its dialog";
        EXPECT_EQ(::GetWindow(dialog, GW_OWNER), panel);
        EXPECT_NE(::GetForegroundWindow(), panel);
        EXPECT_TRUE(Polls(3)) << "the panel keeps polling behind the dialog";
        EXPECT_EQ(Count(kPanelInactive), 0u) << "the unit is not told the panel went to the background";
        ASSERT_TRUE(CloseDialog(dialog));
    }
}

TEST_F(ServiceMenu, AboutBoxShowsTheModuleTheLibrariesAndTheUnitsFirmware) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10", "_renamed"));
    Start(1);
    ASSERT_TRUE(Polls(1));
    HWND about = OpenDialog(33601);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(Text(::GetDlgItem(about, 1105)),
              LanguageText(4130) + " :\t\tLUMEN 70\r\n" + LanguageText(4131) + " :\t2.10\r\n" +
                  LanguageText(4132) + " :\t\t2024-03-18\r\n" + LanguageText(4133) + " :\tL70-00417");

    // Each library's values read here from its file, the module found under whatever name it has.
    auto values = [](HMODULE module) {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(module, path, sizeof path);
        std::vector<char> data(::GetFileVersionInfoSizeA(path, nullptr));
        EXPECT_FALSE(data.empty()) << path;
        ::GetFileVersionInfoA(path, 0, static_cast<DWORD>(data.size()), data.data());
        WORD* translation = nullptr;
        UINT size = 0;
        ::VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                         &size);
        std::string text;
        for (const char* key : {"FileVersion", "FileDescription", "LegalCopyright"}) {
            char query[128];
            std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                          translation[1], key);
            char* value = nullptr;
            ::VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &size);
            EXPECT_TRUE(value && *value) << key;
            text += std::string(key) + ":\t" + (value ? value : "") + "\r\n";
        }
        return text;
    };
    const std::string software = Text(::GetDlgItem(about, 1104));
    const std::string expected =
        "Lumen70_AboutBoxShowsTheModuleTheLibrariesAndTheUnitsFirmware_renamed.dll\r\n" +
        values(module->Handle()) + "Nxjbus.dll\r\n" + values(::GetModuleHandleA("Nxjbus.dll")) +
        "NxLang.dll\r\n" + values(::GetModuleHandleA("NxLang.dll"));
    EXPECT_EQ(software, expected);
    RECT area{};
    ::GetWindowRect(about, &area);
    Screenshot(area, "about-box");
    ASSERT_TRUE(CloseDialog(about));
}

TEST_F(ServiceMenu, SystemInformationShowsTheLogAndMailsItAsAnAttachment) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(Polls(1));
    const std::string path = harness::LogPath();
    const struct {
        const char* name;
        std::string content; // nullopt-like: "missing" deletes the file
        bool missing;
    } logs[] = {
        {"missing", "", true},
        {"empty", "", false},
        {"one megabyte", std::string(1024 * 1024 - 2, 'x') + "\r\n", false},
        {"lines", "3:[];Access to the technical menu;06/12/26 10h00min;f:1\r\nlast line without end", false},
    };
    for (const auto& log : logs) {
        SCOPED_TRACE(log.name);
        ::DeleteFileA(path.c_str());
        if (!log.missing)
            std::ofstream(path, std::ios::binary) << log.content;
        HWND info = OpenDialog(33619);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(Text(::GetDlgItem(info, 24002)), path);
        EXPECT_EQ(Text(::GetDlgItem(info, 24000)), log.content);
        if (std::string(log.name) == "lines") {
            RECT area{};
            ::GetWindowRect(info, &area);
            Screenshot(area, "system-information");
        }
        ASSERT_TRUE(CloseDialog(info));
    }

    HMODULE mapi = ::LoadLibraryA("MAPI32.DLL");
    ASSERT_NE(mapi, nullptr);
    auto recorded = reinterpret_cast<void (*)(RecordedMailCall*)>(
        reinterpret_cast<void*>(::GetProcAddress(mapi, "RecordedMail")));
    auto setResult =
        reinterpret_cast<void (*)(ULONG)>(reinterpret_cast<void*>(::GetProcAddress(mapi, "SetMailResult")));
    ASSERT_TRUE(recorded && setResult) << "the recording MAPI32.DLL is the one loaded (DLL override)";
    char folderBefore[MAX_PATH] = {};
    ::GetCurrentDirectoryA(sizeof folderBefore, folderBefore);

    HWND info = OpenDialog(33619);
    ASSERT_NE(info, nullptr);
    const struct {
        ULONG result;
        std::vector<std::string> boxes;
    } sends[] = {
        {0, {}},
        {1, {"Failed to send the message. Error: unknown error."}}, // the operator cancelled
        {10, {"Failed to send the message. Error: TOO_MANY_RECIPIENTS"}},
    };
    for (const auto& send : sends) {
        setResult(send.result);
        boxes.TakeTexts();
        RecordedMailCall before{};
        recorded(&before);
        ::SendMessageA(info, WM_COMMAND, MAKEWPARAM(24003, BN_CLICKED), 0);
        RecordedMailCall call{};
        recorded(&call);
        EXPECT_EQ(call.calls, before.calls + 1);
        EXPECT_EQ(call.flags, 9u);
        EXPECT_EQ(call.recipients, 0u);
        EXPECT_EQ(call.files, 1u);
        EXPECT_EQ(call.position, static_cast<ULONG>(-1));
        EXPECT_EQ(call.fileNameGiven, 0);
        EXPECT_EQ(std::string(call.path), path);
        EXPECT_EQ(std::string(call.subject), LanguageText(4197));
        EXPECT_EQ(std::string(call.note), LanguageText(4198));
        EXPECT_EQ(boxes.TakeTexts(), send.boxes) << send.result;
        char folderAfter[MAX_PATH] = {};
        ::GetCurrentDirectoryA(sizeof folderAfter, folderAfter);
        EXPECT_STREQ(folderAfter, folderBefore) << "the current folder is put back";
    }
    setResult(0);
    ASSERT_TRUE(CloseDialog(info));
    ::FreeLibrary(mapi);
}

} // namespace
