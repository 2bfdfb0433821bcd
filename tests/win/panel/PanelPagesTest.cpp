// The program, patient and cephalometric pages seen from outside: keys pressed on the live panel, the
// words the unit received, the prompts the panel played and the program fields the host then reads
// with GetInfosTir.
#include "PanelHarness.h"

#include <mmsystem.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// The prompts the panel played, seen at the module's import of PlaySoundA.
std::mutex g_promptMutex;
std::vector<std::pair<UINT, double>> g_prompts;

BOOL WINAPI CountingPlaySound(LPCSTR sound, HMODULE, DWORD flags) {
    if (flags & SND_RESOURCE) {
        std::lock_guard lock(g_promptMutex);
        g_prompts.emplace_back(static_cast<UINT>(reinterpret_cast<uintptr_t>(sound)), NowMs());
    }
    return TRUE;
}

std::vector<std::pair<UINT, double>> Prompts() {
    std::lock_guard lock(g_promptMutex);
    return g_prompts;
}

uint16_t U16(const std::vector<uint8_t>& record, size_t at) {
    return static_cast<uint16_t>(record[at] | record[at + 1] << 8);
}

class PanelPages : public LivePanel {
protected:
    void SetUp() override {
        LivePanel::SetUp();
        const DWORD on = 1;
        SetModuleValue("WithVocal", REG_DWORD, &on, sizeof on);
        std::lock_guard lock(g_promptMutex);
        g_prompts.clear();
    }
    // The module on this unit, its prompts counted.
    void LoadUnit(const char* version) {
        ASSERT_NO_FATAL_FAILURE(Load(version));
        ASSERT_NE(PatchImport(module->Handle(), "WINMM.dll", "PlaySoundA", reinterpret_cast<void*>(&CountingPlaySound)),
                  nullptr);
    }
    // The panel once its start-up has run: StartDialog returns while the pages are still being made.
    void Open(unsigned char mode) {
        ASSERT_NO_FATAL_FAILURE(Start(mode));
        ASSERT_TRUE(Polls(1, 10000)) << "the first poll follows the start-up";
    }
    // A key of one of the pages, by identifier.
    HWND PageKey(int id) {
        return PageControl(panel, id);
    }
    // Presses a page key as the operator does; the panel's thread has handled it when this returns.
    double Press(int id) {
        HWND key = PageKey(id);
        EXPECT_NE(key, nullptr) << "key " << id;
        const double at = NowMs();
        if (key)
            ::SendMessageA(key, BM_CLICK, 0, 0);
        return at;
    }
    // The words the unit received since the last call.
    std::vector<uint16_t> NewCommands() {
        char reply[4096] = {};
        control("history commands", reply, sizeof reply);
        Unit("history clear");
        std::vector<uint16_t> words;
        std::istringstream in(reply);
        std::string item;
        in >> item; // n=
        while (in >> item)
            words.push_back(static_cast<uint16_t>(std::stoul(item.substr(0, item.find(':')), nullptr, 16)));
        return words;
    }
    // The program words among them (group 4, age 5, build 6), without the panel's own traffic.
    std::vector<uint16_t> NewSelections() {
        std::vector<uint16_t> selections;
        for (uint16_t word : NewCommands())
            if ((word & 0xFF) >= 4 && (word & 0xFF) <= 6)
                selections.push_back(word);
        return selections;
    }
    std::vector<uint8_t> Record(size_t size) {
        std::vector<uint8_t> record(size, 0);
        module->Get<void (*)(void*)>("GetInfosTir")(record.data());
        return record;
    }
    std::vector<std::pair<uint16_t, uint16_t>> Sections(const std::vector<uint8_t>& pano) {
        std::vector<std::pair<uint16_t, uint16_t>> sections;
        for (size_t k = 0; k < U16(pano, 49) && k < 4; ++k)
            sections.emplace_back(U16(pano, 51 + 4 * k), U16(pano, 53 + 4 * k));
        return sections;
    }
    bool CaptionX4Shown() { return ::IsWindowVisible(::GetDlgItem(panel, 1075)) != FALSE; }
};

using SectionList = std::vector<std::pair<uint16_t, uint16_t>>;

// A unit before 1.02 reports no image layout: the sections the host reads are the recap's own.
TEST_F(PanelPages, TmjKeysSelectTheProgramAndTheRecapDescribesItsImages) {
    ASSERT_NO_FATAL_FAILURE(LoadUnit("1.01"));
    Unit("command 0x7004");
    ASSERT_NO_FATAL_FAILURE(Open(1));
    NewCommands();

    Press(1038);
    EXPECT_TRUE(NewSelections().empty()) << "no TMJ program: the four-image key sends nothing";

    Press(1037);
    EXPECT_EQ(NewSelections(), (std::vector<uint16_t>{0x0104}));
    std::vector<uint8_t> pano = Record(211);
    EXPECT_EQ(U16(pano, 0), 187);
    EXPECT_EQ(Sections(pano), (SectionList{{0, 836}, {886, 836}}));
    EXPECT_FALSE(CaptionX4Shown());

    Press(1038);
    EXPECT_EQ(NewSelections(), (std::vector<uint16_t>{0x1104}));
    pano = Record(211);
    EXPECT_EQ(U16(pano, 0), 188);
    EXPECT_EQ(Sections(pano), (SectionList{{0, 836}, {886, 836}, {1772, 836}, {2658, 836}}));
    EXPECT_STREQ(reinterpret_cast<const char*>(&pano[2]), "TMJ, four images");
    EXPECT_TRUE(CaptionX4Shown());

    Press(1036);
    EXPECT_EQ(NewSelections(), (std::vector<uint16_t>{0x0104})) << "both TMJ keys send the same word";
    EXPECT_FALSE(CaptionX4Shown());
    std::vector<UINT> played;
    for (const auto& [id, at] : Prompts())
        played.push_back(id);
    EXPECT_EQ(played, (std::vector<UINT>{4006, 4007, 4006}));
}

TEST_F(PanelPages, SegmentKeysSendTheLitCombinationAndOnePromptNamesIt) {
    ASSERT_NO_FATAL_FAILURE(LoadUnit("1.01"));
    Unit("command 0x0104");
    ASSERT_NO_FATAL_FAILURE(Open(1));
    NewCommands();

    Press(1033);
    const double last = Press(1032);
    EXPECT_EQ(NewSelections(), (std::vector<uint16_t>{0x1004, 0x3004}));
    std::vector<uint8_t> pano = Record(211);
    EXPECT_EQ(U16(pano, 0), 183);
    EXPECT_EQ(Sections(pano), (SectionList{{0, 1614}}));
    ASSERT_TRUE(WaitFor([] { return !Prompts().empty(); }, 20000));
    ::Sleep(1200);
    const auto prompts = Prompts();
    ASSERT_EQ(prompts.size(), 1u) << "one prompt for the final combination";
    EXPECT_EQ(prompts[0].first, 4025u);
    EXPECT_GE(prompts[0].second - last, 900.0) << "about a second after the last press";

    // Un-lighting both: the last word carries no segment, the unit keeps the last program's record.
    Press(1032);
    Press(1033);
    EXPECT_EQ(NewSelections(), (std::vector<uint16_t>{0x1004, 0x0004}));
    EXPECT_EQ(Status("program"), "0x00");
    pano = Record(211);
    EXPECT_EQ(U16(pano, 0), 181);
    EXPECT_EQ(Sections(pano), (SectionList{{0, 974}}));
    ::Sleep(1500);
    EXPECT_EQ(Prompts().size(), 1u) << "no segment left: nothing to name";
}

TEST_F(PanelPages, PatientKeysSendAgeAndBuild) {
    ASSERT_NO_FATAL_FAILURE(LoadUnit("2.10"));
    ASSERT_NO_FATAL_FAILURE(Open(1));
    ::SendMessageA(panel, WM_COMMAND, MAKEWPARAM(1058, BN_CLICKED), 0); // the patient caption
    NewCommands();
    const struct {
        int key;
        uint16_t word;
        UINT prompt;
        const char* field;
        const char* value;
    } keys[] = {{1012, 0x0005, 4037, "age", "0"},   {1011, 0x0105, 4036, "age", "1"},
                {1015, 0x0206, 4003, "build", "2"}, {1013, 0x0006, 4005, "build", "0"},
                {1014, 0x0106, 4004, "build", "1"}, {1014, 0x0106, 4004, "build", "1"}};
    for (const auto& k : keys) {
        const size_t before = Prompts().size();
        Press(k.key);
        EXPECT_EQ(NewSelections(), (std::vector<uint16_t>{k.word})) << k.key;
        EXPECT_EQ(Status(k.field), k.value) << k.key;
        ASSERT_EQ(Prompts().size(), before + 1) << k.key;
        EXPECT_EQ(Prompts().back().first, k.prompt);
    }
}

TEST_F(PanelPages, CephalometricViewsCodeTheRecordAndTheAngleStaysOnThePage) {
    ASSERT_NO_FATAL_FAILURE(LoadUnit("2.10"));
    ASSERT_NO_FATAL_FAILURE(Open(0));
    NewCommands();
    const struct {
        int key;
        uint16_t word, code, angle;
        UINT prompt;
    } views[] = {{1119, 0x0304, 194, 0, 4012},  {1114, 0x1304, 193, 0, 4014}, {1111, 0x2304, 192, 0, 4010},
                 {1113, 0x3304, 195, 45, 4013}, {1115, 0x4304, 196, 0, 4015}, {1112, 0x5304, 197, 0, 4011}};
    for (const auto& v : views) {
        Press(v.key);
        EXPECT_EQ(NewSelections(), (std::vector<uint16_t>{v.word})) << v.key;
        const std::vector<uint8_t> ceph = Record(293);
        EXPECT_EQ(U16(ceph, 0), v.code) << v.key;
        EXPECT_EQ(U16(ceph, 48), v.angle) << v.key;
        ASSERT_FALSE(Prompts().empty());
        EXPECT_EQ(Prompts().back().first, v.prompt);
    }

    // The angle keys change only the page's angle, which the record follows while oblique is chosen.
    Press(1113);
    NewCommands();
    Press(1116);
    EXPECT_EQ(U16(Record(293), 48), 46);
    HWND page = ::GetParent(PageKey(1116));
    for (int i = 0; i < 330; ++i)
        ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(1116, BN_CLICKED), reinterpret_cast<LPARAM>(PageKey(1116)));
    EXPECT_EQ(U16(Record(293), 48), 360);
    for (int i = 0; i < 370; ++i)
        ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(1117, BN_CLICKED), reinterpret_cast<LPARAM>(PageKey(1117)));
    EXPECT_EQ(U16(Record(293), 48), 0);
    EXPECT_TRUE(NewSelections().empty()) << "the unit never hears of the angle";
}

// Selections the unit should never report: the records stay well-formed whatever the design reads.
TEST_F(PanelPages, OddSelectionsLeaveTheRecordsWellFormed) {
    auto wellFormed = [](const std::vector<uint8_t>& pano, const std::string& what) {
        const uint16_t count = U16(pano, 49);
        EXPECT_LE(count, 4) << what;
        bool terminated = false;
        for (size_t i = 2; i < 32; ++i)
            terminated = terminated || pano[i] == 0;
        EXPECT_TRUE(terminated) << what << ": the name ends within its 30 bytes";
    };
    const char* odd[] = {"selection raw 0x31 7 9 5", "selection raw 0xF1 2 3 4", "selection raw 0x90 255 255 255",
                         "selection raw 0xF0 1 1 1", "selection raw 0x82 0 7 3",  "selection raw 0x63 1 1 1",
                         "selection raw 0xFE 9 9 9", "selection raw 0x6F 1 1 1",  "selection raw 0xFF 65535 65535 65535"};

    // The cephalometric design reads the selection again at each angle key.
    ASSERT_NO_FATAL_FAILURE(LoadUnit("2.10"));
    ASSERT_NO_FATAL_FAILURE(Open(0));
    Press(1113);
    ASSERT_EQ(U16(Record(293), 0), 195);
    for (const char* line : odd) {
        Unit(line);
        Press(1116);
        const std::vector<uint8_t> ceph = Record(293);
        EXPECT_LE(U16(ceph, 48), 360) << line;
        const uint16_t code = U16(ceph, 0);
        EXPECT_TRUE(code == 195 || code == 202 || code == 203) << line << ": code " << code;
        EXPECT_TRUE(::IsWindow(panel));
    }
    Close();
    module.reset();

    // The panoramic designs read it at start-up: a program the unit has no recap for keeps the record.
    ASSERT_NO_FATAL_FAILURE(Load("1.01", "_pano"));
    Unit("command 0x1104");
    ASSERT_NO_FATAL_FAILURE(Open(1));
    Close();
    for (const char* line : {"selection raw 0x31 7 9 5", "selection raw 0x90 255 255 255", "selection raw 0xF1 0 7 3"}) {
        ASSERT_EQ(module->Get<harness::OpenCommPortFn>("OpenCommPort")(), 15);
        Unit(line);
        ASSERT_NO_FATAL_FAILURE(Open(1));
        const std::vector<uint8_t> pano = Record(211);
        wellFormed(pano, line);
        // Start-up clears the code and the count; no recap writes them again, the offsets stay.
        EXPECT_EQ(U16(pano, 0), 0) << line;
        EXPECT_EQ(U16(pano, 49), 0) << line;
        EXPECT_EQ(U16(pano, 51 + 12), 2658) << line;
        Close();
    }
}

// Each page in a selected state, saved for a look (run by pages_screenshot.sh, folder in LUMEN_SHOT_DIR).
TEST_F(PanelPages, DISABLED_Screenshots) {
    const char* folder = std::getenv("LUMEN_SHOT_DIR");
    ASSERT_NE(folder, nullptr);
    auto shoot = [&](const char* name) {
        ::RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        ::Sleep(500);
        RECT area{};
        ::GetWindowRect(panel, &area);
        EXPECT_TRUE(winkit::SaveScreenArea(area, std::string(folder) + "\\" + name + ".bmp")) << name;
    };
    ASSERT_NO_FATAL_FAILURE(LoadUnit("2.10"));
    Unit("command 0x0104");
    ASSERT_NO_FATAL_FAILURE(Open(1));
    Press(1038);
    shoot("page_program_tmj4");
    Press(1033);
    Press(1032);
    shoot("page_program_segments");
    ::SendMessageA(panel, WM_COMMAND, MAKEWPARAM(1058, BN_CLICKED), 0);
    Press(1012);
    Press(1015);
    shoot("page_patient");
    Close();
    module.reset();

    ASSERT_NO_FATAL_FAILURE(Load("2.10", "_ceph"));
    ASSERT_NO_FATAL_FAILURE(Open(0));
    Press(1113);
    Press(1116);
    shoot("page_cephalometric");
}

} // namespace
