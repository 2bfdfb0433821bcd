// Module version records: a resource without a translation entry is read under code page 1252 and
// language 0; a module that is not loaded, or has no version resource, gives no record and empty values.
#include "about/ModuleVersion.h"

#include <gtest/gtest.h>

namespace {

TEST(ModuleVersion, NoTranslationEntryMeansCodePage1252AndLanguage0) {
    CModuleVersion version;
    ASSERT_TRUE(version.GetFileVersionInfo(::GetModuleHandleA(nullptr)));
    EXPECT_EQ(version.Fixed().dwSignature, CModuleVersion::kSignature);
    EXPECT_EQ(version.CodePage(), 1252);
    EXPECT_EQ(version.Language(), 0);
    EXPECT_EQ(version.GetValue("FileDescription"), "Version record test program");
    EXPECT_EQ(version.GetValue("LegalCopyright"), "");
}

TEST(ModuleVersion, AbsentModuleOrResourceGivesEmptyValues) {
    CModuleVersion version;
    EXPECT_FALSE(version.GetFileVersionInfo("NotLoadedAnywhere.dll"));
    EXPECT_EQ(version.GetValue("FileVersion"), "");
    // A handle that is no module's is refused.
    EXPECT_FALSE(version.GetFileVersionInfo(reinterpret_cast<HMODULE>(0x1000)));
    EXPECT_EQ(version.GetValue("FileVersion"), "");
    EXPECT_EQ(ModuleFileName(::GetModuleHandleA(nullptr)), "about_win_test.exe");
}

} // namespace
