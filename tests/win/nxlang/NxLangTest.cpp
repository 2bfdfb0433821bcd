// NxLang.dll as the module uses it, in every language: texts by identifier within the limits of the
// places that show them, the unit information file's names, the two popup menus and the voice prompts.
#include "link/DisplayText.h"
#include "nxlang/TextIds.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using nxlang::ResourceId;

// The text as the module gets it (single-byte, Windows-1252).
std::string TextOf(HMODULE library, ResourceId id) {
    const wchar_t* wide = nullptr;
    const int length = ::LoadStringW(library, id, reinterpret_cast<wchar_t*>(&wide), 0);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) * 2, '\0');
    BOOL lossy = FALSE;
    text.resize(static_cast<std::size_t>(::WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide, length, text.data(),
                                                               static_cast<int>(text.size()), nullptr, &lossy)));
    EXPECT_FALSE(lossy) << "text " << id << " is not Windows-1252";
    return text;
}

HMODULE Load(const char* path) { return ::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE); }

class NxLang : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { ASSERT_NE(library, nullptr) << GetParam() << " error " << ::GetLastError(); }
    void TearDown() override { ::FreeLibrary(library); }
    std::string Text(ResourceId id) const { return TextOf(library, id); }
    HMODULE library = Load(GetParam());
};

TEST_P(NxLang, EveryTextIsPresentAndFitsWhereItIsShown) {
    for (ResourceId id : nxlang::kAllTexts)
        EXPECT_FALSE(Text(id).empty()) << "no text for " << id;
    EXPECT_TRUE(Text(4565).empty()) << "an identifier no one names is absent, so the loop above can fail";
    for (ResourceId id : nxlang::kUnitLineTexts) {
        const std::string text = Text(id);
        EXPECT_LE(text.size(), 39u) << id << ": " << text; // the unit's display line
        // Every character must reach the unit as itself: its table shows '^' as 'N' and turns control
        // bytes and the characters it has no glyph for (upper-case accented E and A ...) into blanks.
        for (unsigned char c : text)
            EXPECT_TRUE(c != '^' && (c == ' ' || unitlink::ToUnitDisplayCharacter(c) != ' '))
                << id << ": " << text << " (character " << int(c) << ")";
    }
    // The panel's message display (1065) centres 25-pixel bold Arial on a point 122 pixels from the
    // right edge of its face, and the information button overlaps the right end: a wider text loses
    // its last letters. Measured, since the width of the letters, not their number, decides.
    HDC dc = ::CreateCompatibleDC(nullptr);
    HFONT font = ::CreateFontA(25, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
    HGDIOBJ old = ::SelectObject(dc, font);
    for (ResourceId id : nxlang::kPanelMessageTexts) {
        const std::string text = Text(id);
        SIZE size{};
        ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        EXPECT_LE(size.cx, 244) << id << ": " << text;
    }
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    ::DeleteDC(dc);
    for (ResourceId id : nxlang::kProgramNames) // 30-byte name field of the shot record, with its zero
        EXPECT_LE(Text(id).size(), 29u) << id << ": " << Text(id);
    // The firmware box aligns "label :" by tabs, two after unit type and date, one after the others.
    for (ResourceId id : {nxlang::About::UnitType, nxlang::About::ReleaseDate})
        EXPECT_LT(Text(id).size() + 2, 16u) << Text(id);
    for (ResourceId id : {nxlang::About::SoftwareVersion, nxlang::About::SerialNumber})
        EXPECT_TRUE(Text(id).size() + 2 >= 16u && Text(id).size() + 2 <= 23u) << Text(id);
    // Copied into 128-byte mail fields with their terminating zero.
    EXPECT_LT(Text(nxlang::About::MailSubject).size(), 128u);
    EXPECT_LT(Text(nxlang::About::MailNote).size(), 128u);
}

// The unit information file is written key by key: a key repeated in a section would overwrite the
// other value, and a name with '=', '[', ']' or ';' would not read back.
TEST_P(NxLang, UnitInformationFileNamesAreDistinctAndReadable) {
    std::map<ResourceId, std::vector<std::string>> sections = {{4648, {Text(4653), Text(4654), Text(4655)}},
                                                               {4649, {Text(4656), Text(4657)}},
                                                               {4650, {Text(4658), Text(4659), Text(4660), Text(4661)}},
                                                               {4651, {Text(4625), Text(4626), Text(4624), Text(4647)}},
                                                               {4652, {Text(4638)}}};
    for (auto [first, last] : {std::pair{4627, 4636}, std::pair{4662, 4666}})
        for (int id = first; id <= last; ++id)
            sections[4651].push_back(Text(static_cast<ResourceId>(id)));
    for (int i = 0; i <= 10; ++i)
        sections[4651].push_back(Text(4637) + "[" + std::to_string(i) + "]");
    for (ResourceId patient : {4642, 4643})
        for (ResourceId build : {4644, 4645, 4646})
            for (ResourceId row : {4640, 4641})
                sections[4652].push_back(Text(row) + " ( " + Text(patient) + ", " + Text(build) + ")");
    std::set<std::string> sectionNames;
    for (const auto& [section, keys] : sections) {
        EXPECT_TRUE(sectionNames.insert(Text(section)).second) << Text(section);
        EXPECT_EQ(Text(section).find_first_of("[]=;"), std::string::npos) << Text(section);
        std::set<std::string> seen;
        for (const std::string& key : keys)
            EXPECT_TRUE(seen.insert(key).second && key.find_first_of("=;") == std::string::npos)
                << "key " << key << " in " << Text(section);
    }
}

// A menu's command identifiers with their submenus'; an access key may mark only one item of a
// submenu, or the key would not choose it.
std::set<UINT> Commands(HMENU menu) {
    std::set<UINT> commands;
    std::set<wchar_t> accessKeys;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        if (HMENU sub = ::GetSubMenu(menu, i)) {
            const auto inner = Commands(sub);
            commands.insert(inner.begin(), inner.end());
            continue;
        }
        wchar_t label[128] = L"";
        const int length = ::GetMenuStringW(menu, static_cast<UINT>(i), label, 128, MF_BYPOSITION);
        if (length == 0 && (::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR))
            continue;
        const UINT id = ::GetMenuItemID(menu, i);
        EXPECT_GT(length, 0) << "item " << id << " has no label";
        if (const wchar_t* amp = std::wcschr(label, L'&'); amp && amp[1]) {
            EXPECT_TRUE(accessKeys.insert(static_cast<wchar_t>(std::towlower(amp[1]))).second) << "item " << id;
        }
        commands.insert(id);
    }
    return commands;
}

// Each branch of the two menus: the user popup, the technical menu's two branches.
std::vector<std::set<UINT>> MenuBranches(HMODULE library) {
    std::vector<std::set<UINT>> branches;
    for (auto [menu, count] : {std::pair{nxlang::Menu::User, 1}, std::pair{nxlang::Menu::Technical, 2}}) {
        HMENU loaded = ::LoadMenuW(library, MAKEINTRESOURCEW(menu));
        EXPECT_EQ(::GetMenuItemCount(loaded), count);
        for (int i = 0; i < count; ++i)
            branches.push_back(Commands(::GetSubMenu(loaded, i)));
        ::DestroyMenu(loaded);
    }
    return branches;
}

template <typename T> T Read(const BYTE* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

TEST_P(NxLang, EveryVoicePromptIsAShortMonoSixteenBitWave) {
    for (ResourceId id : nxlang::kPrompts) {
        SCOPED_TRACE(id);
        HRSRC info = ::FindResourceW(library, MAKEINTRESOURCEW(id), L"WAVE");
        ASSERT_NE(info, nullptr);
        const DWORD size = ::SizeofResource(library, info);
        const auto* wave = static_cast<const BYTE*>(::LockResource(::LoadResource(library, info)));
        ASSERT_TRUE(wave && size >= 44 && !std::memcmp(wave, "RIFF", 4) && !std::memcmp(wave + 8, "WAVE", 4));
        EXPECT_EQ(Read<DWORD>(wave + 4) + 8, size);
        DWORD byteRate = 0, dataBytes = 0;
        for (DWORD at = 12; at + 8 <= size;) {
            const DWORD chunk = Read<DWORD>(wave + at + 4);
            ASSERT_LE(at + 8 + chunk, size);
            if (std::memcmp(wave + at, "fmt ", 4) == 0) {
                EXPECT_EQ(Read<WORD>(wave + at + 8), 1);   // PCM
                EXPECT_EQ(Read<WORD>(wave + at + 10), 1);  // mono
                EXPECT_EQ(Read<WORD>(wave + at + 22), 16); // bits per sample
                byteRate = Read<DWORD>(wave + at + 16);
            } else if (std::memcmp(wave + at, "data", 4) == 0) {
                dataBytes = chunk;
            }
            at += 8 + chunk + (chunk & 1);
        }
        ASSERT_GT(byteRate, 0u) << "no format chunk";
        EXPECT_GT(dataBytes, byteRate * 3 / 10);
        EXPECT_LT(dataBytes, byteRate * 5);
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, NxLang, ::testing::Values(NXLANG_EN_DLL_PATH, NXLANG_FR_DLL_PATH),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "English" : "French");
                         });

// Beside one another: every language holds exactly the texts and menu commands of the English
// library, and keeps the unit information file's names, since the host reads the file by them.
TEST(NxLangLanguages, HoldTheSameTextsMenusAndInformationFileNames) {
    HMODULE english = Load(NXLANG_EN_DLL_PATH), french = Load(NXLANG_FR_DLL_PATH);
    ASSERT_TRUE(english && french);
    for (int id = 0; id < 0x10000; ++id) {
        const auto rid = static_cast<ResourceId>(id);
        EXPECT_EQ(TextOf(english, rid).empty(), TextOf(french, rid).empty()) << id;
    }
    for (ResourceId id : nxlang::kIniNames)
        EXPECT_EQ(TextOf(french, id), TextOf(english, id)) << id;
    EXPECT_EQ(MenuBranches(french), MenuBranches(english));
    ::FreeLibrary(english);
    ::FreeLibrary(french);
}

} // namespace
