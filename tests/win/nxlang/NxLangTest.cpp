// NxLang.dll as the module uses it, in every language: texts by identifier, the two popup menus, the
// voice prompts and the version resource. Expected identifiers are listed here independently of the
// catalogues, so a text the module asks for but a library lacks is caught.
#include "link/DisplayText.h"
#include "nxlang/TextIds.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

using nxlang::ResourceId;

struct Language {
    const char* name;
    const char* path;
    const char* programCaption; // text 4178, to tell the languages apart
};
void PrintTo(const Language& language, std::ostream* out) { *out << language.name; }

const Language kEnglish{"English", NXLANG_EN_DLL_PATH, "Program"};
const Language kFrench{"French", NXLANG_FR_DLL_PATH, "Programme"};

// The text as the module gets it (single-byte, Windows-1252).
std::string TextOf(HMODULE library, ResourceId id) {
    const wchar_t* wide = nullptr;
    const int length = ::LoadStringW(library, id, reinterpret_cast<wchar_t*>(&wide), 0);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) * 2, '\0');
    BOOL lossy = FALSE;
    const int bytes = ::WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide, length, text.data(),
                                            static_cast<int>(text.size()), nullptr, &lossy);
    EXPECT_FALSE(lossy) << "text " << id << " is not Windows-1252";
    text.resize(static_cast<std::size_t>(bytes));
    return text;
}

struct DataLibrary {
    explicit DataLibrary(const char* path) : module(::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataLibrary() {
        if (module)
            ::FreeLibrary(module);
    }
    DataLibrary(const DataLibrary&) = delete;
    DataLibrary& operator=(const DataLibrary&) = delete;
    HMODULE module;
};

class NxLang : public ::testing::TestWithParam<Language> {
protected:
    void SetUp() override {
        m_library = std::make_unique<DataLibrary>(GetParam().path);
        ASSERT_NE(library(), nullptr) << GetParam().path << " error " << ::GetLastError();
    }
    HMODULE library() const { return m_library->module; }
    std::string Text(ResourceId id) const { return TextOf(library(), id); }

private:
    std::unique_ptr<DataLibrary> m_library;
};

// The identifiers the module loads, by the dialog or feature that loads them.
std::vector<ResourceId> TextsTheModuleLoads() {
    const std::pair<int, int> ranges[] = {
        {4001, 4018},                                                         // program names
        {4022, 4026}, {4028, 4028},                                           // unit counters
        {4031, 4056}, {4205, 4206},                                           // calibrations
        {4062, 4062}, {4064, 4081},                                           // preferences
        {4087, 4108},                                                         // manufacturing settings
        {4115, 4120}, {4123, 4123},                                           // stand calibration
        {4127, 4133}, {4194, 4198},                                           // about box, system information
        {4135, 4135}, {4139, 4140}, {4144, 4145}, {4149, 4149}, {4160, 4161}, // error dialogs
        {4153, 4159}, {4162, 4165}, {4166, 4173}, {4178, 4187}, {4201, 4202}, // save/restore, link, panel, boxes
        {4210, 4243},                                           // information messages and their panel texts
        {4266, 4291}, {4314, 4317}, {4322, 4325},               // unit faults 2-27, 50-53, 58-61
        {4367, 4564},                                           // unit errors 1-99: unit line, panel text
        {4318, 4321}, {4566, 4573}, {4576, 4576}, {4581, 4587}, {4589, 4591},
        {4593, 4594}, {4597, 4597}, {4603, 4616},  // tooltips
        {4624, 4638}, {4640, 4666},                // unit information file
        {4671, 4672}, {4675, 4685}, {4687, 4689}}; // boxes, buttons, warnings
    std::vector<ResourceId> ids;
    for (auto [first, last] : ranges)
        for (int id = first; id <= last; ++id)
            ids.push_back(static_cast<ResourceId>(id));
    return ids;
}

TEST_P(NxLang, EveryTextTheModuleLoadsIsPresentAndSingleByte) {
    for (ResourceId id : TextsTheModuleLoads())
        EXPECT_FALSE(Text(id).empty()) << "no text for " << id;
    std::set<ResourceId> unique;
    for (ResourceId id : nxlang::kAllTexts) {
        EXPECT_TRUE(unique.insert(id).second) << id << " appears twice in the catalogue";
        EXPECT_FALSE(Text(id).empty()) << "no text for " << id;
    }
    // Sentinels: identifiers no one names really are absent, so the loop above can fail.
    EXPECT_TRUE(Text(4000).empty());
    EXPECT_TRUE(Text(4565).empty());
}

TEST_P(NxLang, DisplayLimitsHold) {
    for (ResourceId id : nxlang::kUnitLineTexts) {
        const std::string text = Text(id);
        EXPECT_LE(text.size(), 39u) << id << ": " << text; // the unit's display line
        // Every character must reach the unit as itself: its table shows '^' as 'N' and turns control
        // bytes and the characters it has no glyph for (upper-case accented E and A ...) into blanks.
        for (unsigned char c : text)
            EXPECT_TRUE(c != '^' && (c == ' ' || unitlink::ToUnitDisplayCharacter(c) != ' '))
                << id << ": " << text << " (character " << int(c) << ")";
    }
    EXPECT_EQ(std::size(nxlang::kUnitLineTexts), 17u + 99u);
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
        EXPECT_LE(text.size(), 24u) << id << ": " << text;
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
    for (ResourceId id : {nxlang::About::SoftwareVersion, nxlang::About::SerialNumber}) {
        EXPECT_GE(Text(id).size() + 2, 16u) << Text(id);
        EXPECT_LE(Text(id).size() + 2, 23u) << Text(id);
    }
    // Copied into 128-byte mail fields with their terminating zero.
    EXPECT_LT(Text(nxlang::About::MailSubject).size(), 128u);
    EXPECT_LT(Text(nxlang::About::MailNote).size(), 128u);
}

// The unit information file is written key by key: a key repeated in a section would overwrite the
// other value, and a name with '=', '[', ']' or ';' would not read back.
TEST_P(NxLang, UnitInformationFileNamesAreDistinctAndReadable) {
    std::map<ResourceId, std::vector<std::string>> sections = {
        {4648, {Text(4653), Text(4654), Text(4655)}},
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
        std::set<std::string> seen;
        for (const std::string& key : keys) {
            EXPECT_TRUE(seen.insert(key).second) << "key " << key << " twice in " << Text(section);
            EXPECT_EQ(key.find_first_of("=;"), std::string::npos) << key;
        }
        EXPECT_EQ(Text(section).find_first_of("[]=;"), std::string::npos) << Text(section);
    }
}

// Collects the command identifiers of a menu and of its submenus; an access key may mark only one
// item of a submenu, or the key would not choose it.
void CollectCommands(HMENU menu, std::set<UINT>& commands) {
    std::set<wchar_t> accessKeys;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        if (HMENU sub = ::GetSubMenu(menu, i)) {
            CollectCommands(sub, commands);
            continue;
        }
        const UINT id = ::GetMenuItemID(menu, i);
        wchar_t label[128] = L"sentinel";
        const int length = ::GetMenuStringW(menu, static_cast<UINT>(i), label, 128, MF_BYPOSITION);
        if (length == 0 && (::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR))
            continue;
        EXPECT_GT(length, 0) << "item " << id << " has no label";
        if (const wchar_t* amp = std::wcschr(label, L'&'); amp && amp[1]) {
            EXPECT_TRUE(accessKeys.insert(static_cast<wchar_t>(std::towlower(amp[1]))).second)
                << "access key of item " << id << " already taken";
        }
        commands.insert(id);
    }
}

TEST_P(NxLang, MenusCarryEachCommandWhereItBelongs) {
    HMENU user = ::LoadMenuW(library(), MAKEINTRESOURCEW(nxlang::Menu::User));
    HMENU technical = ::LoadMenuW(library(), MAKEINTRESOURCEW(nxlang::Menu::Technical));
    ASSERT_EQ(::GetMenuItemCount(user), 1);
    ASSERT_EQ(::GetMenuItemCount(technical), 2);
    // U: user popup, S: first technical branch, C: second technical branch (the one the designs grey).
    const std::map<UINT, std::string> placement = {
        {33601, "US"}, {33602, "US"}, {33603, "US"}, {33604, "S"}, {33605, ""},   {33606, ""},
        {33607, "S"},  {33608, ""},   {33609, "S"},  {33610, "S"}, {33611, "US"}, {33612, "C"},
        {33613, "C"},  {33614, "C"},  {33615, "C"},  {33616, "S"}, {33617, "S"},  {33618, "C"},
        {33619, "US"}, {33620, "C"},  {33621, "C"},  {33622, "C"}, {33623, "C"}};
    const std::pair<char, HMENU> branches[] = {
        {'U', ::GetSubMenu(user, 0)}, {'S', ::GetSubMenu(technical, 0)}, {'C', ::GetSubMenu(technical, 1)}};
    for (auto [letter, branch] : branches) {
        SCOPED_TRACE(letter);
        ASSERT_NE(branch, nullptr);
        std::set<UINT> commands;
        CollectCommands(branch, commands);
        for (const auto& [command, where] : placement)
            EXPECT_EQ(commands.count(command), where.find(letter) != std::string::npos ? 1u : 0u) << command;
        for (UINT command : commands)
            EXPECT_TRUE(placement.count(command)) << "unexpected command " << command;
    }
    ::DestroyMenu(user);
    ::DestroyMenu(technical);
}

template <typename T> T Read(const BYTE* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

TEST_P(NxLang, EveryVoicePromptIsAShortMonoSixteenBitWave) {
    const std::set<ResourceId> named = {4003, 4004, 4005, 4006, 4007, 4008, 4010, 4011, 4012, 4013,
                                        4014, 4015, 4016, 4017, 4019, 4020, 4021, 4022, 4023, 4024,
                                        4025, 4026, 4027, 4028, 4029, 4030, 4031, 4032, 4033, 4034,
                                        4035, 4036, 4037, 4038, 4039, 4040, 4041, 4045};
    EXPECT_EQ(std::set<ResourceId>(std::begin(nxlang::kPrompts), std::end(nxlang::kPrompts)), named);
    for (ResourceId id : named) {
        SCOPED_TRACE(id);
        HRSRC info = ::FindResourceW(library(), MAKEINTRESOURCEW(id), L"WAVE");
        ASSERT_NE(info, nullptr);
        const DWORD size = ::SizeofResource(library(), info);
        const auto* wave = static_cast<const BYTE*>(::LockResource(::LoadResource(library(), info)));
        ASSERT_TRUE(wave && size >= 44 && !std::memcmp(wave, "RIFF", 4) && !std::memcmp(wave + 8, "WAVE", 4));
        EXPECT_EQ(Read<DWORD>(wave + 4) + 8, size);
        // Walk the chunks: the format must be PCM, mono, 16 bits; the data a short sound.
        DWORD byteRate = 0, dataBytes = 0;
        for (DWORD at = 12; at + 8 <= size;) {
            const DWORD chunk = Read<DWORD>(wave + at + 4);
            ASSERT_LE(at + 8 + chunk, size);
            if (std::memcmp(wave + at, "fmt ", 4) == 0) {
                EXPECT_EQ(Read<WORD>(wave + at + 8), 1);  // PCM
                EXPECT_EQ(Read<WORD>(wave + at + 10), 1); // channels
                EXPECT_GE(Read<DWORD>(wave + at + 12), 8000u);
                byteRate = Read<DWORD>(wave + at + 16);
                EXPECT_EQ(Read<WORD>(wave + at + 22), 16); // bits per sample
            } else if (std::memcmp(wave + at, "data", 4) == 0) {
                dataBytes = chunk;
            }
            at += 8 + chunk + (chunk & 1);
        }
        ASSERT_GT(byteRate, 0u) << "no format chunk";
        const double seconds = static_cast<double>(dataBytes) / byteRate;
        EXPECT_GT(seconds, 0.3);
        EXPECT_LT(seconds, 5.0);
    }
}

TEST_P(NxLang, LoadsAsAModuleAndCarriesItsVersion) {
    const char* path = GetParam().path;
    HMODULE module = ::LoadLibraryA(path);
    ASSERT_NE(module, nullptr) << ::GetLastError();
    char text[64] = "sentinel";
    EXPECT_GT(::LoadStringA(module, nxlang::Panel::Program, text, sizeof text), 0);
    EXPECT_STREQ(text, GetParam().programCaption);
    ::FreeLibrary(module);

    DWORD ignored = 0;
    std::vector<BYTE> block(::GetFileVersionInfoSizeA(path, &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    WORD* translation = nullptr;
    char* version = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length) &&
                length >= 4);
    char key[64], expected[64];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
    ASSERT_TRUE(::VerQueryValueA(block.data(), key, reinterpret_cast<void**>(&version), &length));
    // The string version shown by Explorer matches the numbers the module compares.
    std::snprintf(expected, sizeof expected, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                  LOWORD(fixed->dwFileVersionLS));
    EXPECT_STREQ(version, expected);
}

INSTANTIATE_TEST_SUITE_P(Languages, NxLang, ::testing::Values(kEnglish, kFrench),
                         [](const ::testing::TestParamInfo<Language>& info) { return std::string(info.param.name); });

// Beside one another: the module has one identifier header, so every language holds exactly the texts
// the English library holds; and the unit information file keeps its names in every language, since
// the host reads it by them.
TEST(NxLangLanguages, HoldTheSameTextsAndTheSameInformationFileNames) {
    DataLibrary english(kEnglish.path), french(kFrench.path);
    ASSERT_TRUE(english.module && french.module);
    for (int id = 0; id < 0x10000; ++id) {
        const auto rid = static_cast<ResourceId>(id);
        EXPECT_EQ(TextOf(english.module, rid).empty(), TextOf(french.module, rid).empty()) << id;
    }
    for (ResourceId id : nxlang::kIniNames)
        EXPECT_EQ(TextOf(french.module, id), TextOf(english.module, id)) << id;
}

} // namespace
