// The Win32 registry store under the settings lookup: each of the three places, value types as the
// registry reports them, and texts written with their terminating zero.
#include "support/Settings.h"
#include "support/WinRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// A scratch settings path under each of the three places.
const char kPath[] = "HALVEX\\LUMENTEST";
const char* const kSubkeys[] = {"Software\\HALVEX\\LUMENTEST", ".DEFAULT\\Software\\HALVEX\\LUMENTEST",
                                "Software\\Classes\\HALVEX\\LUMENTEST"};
const HKEY kRoots[] = {HKEY_CURRENT_USER, HKEY_USERS, HKEY_LOCAL_MACHINE};

void Put(int place, const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetKeyValueA(kRoots[place], kSubkeys[place], name, type, data, size), ERROR_SUCCESS);
}
void PutNumber(int place, const char* name, DWORD v) { Put(place, name, REG_DWORD, &v, sizeof v); }

class SettingsRegistry : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        for (int i = 0; i < 3; ++i)
            ::RegDeleteKeyA(kRoots[i], kSubkeys[i]);
    }
    support::RegistryStore& reg = support::SystemRegistry();
};

TEST_F(SettingsRegistry, EachPlaceIsFoundInOrderAndTypesAreTheRegistrys) {
    PutNumber(2, "Machine", 3);
    PutNumber(1, "Shared", 2);
    PutNumber(0, "Shared", 1);
    PutNumber(0, "SecurityTimeOut", 5000);
    Put(0, "WithVocal", REG_SZ, "1", 2);
    const uint64_t wide = 7;
    Put(0, "Baudrate", REG_QWORD, &wide, sizeof wide);

    support::SettingsKey key(reg, kPath, support::SettingsKey::Read);
    int32_t v = -1;
    EXPECT_TRUE(key.ReadNumber("Shared", v, 0));
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(key.ReadNumber("Machine", v, 0));
    EXPECT_EQ(v, 3);
    EXPECT_TRUE(key.ReadNumber("SecurityTimeOut", v, 0, support::kNoBound, 2000));
    EXPECT_EQ(v, 2000);
    EXPECT_FALSE(key.ReadNumber("WithVocal", v, 0)) << "a text is not a 32-bit value";
    EXPECT_FALSE(key.ReadNumber("Baudrate", v, 0)) << "nor is a 64-bit one";
    EXPECT_EQ(v, 0);

    // Without the current user's key the default user's becomes the primary one.
    ::RegDeleteKeyA(kRoots[0], kSubkeys[0]);
    EXPECT_TRUE(support::ReadNumberOnce(reg, kPath, "Shared", v, 0));
    EXPECT_EQ(v, 2);
}

TEST_F(SettingsRegistry, TextsAreWrittenWithTheirZeroUnderTheCurrentUserOnly) {
    {
        support::SettingsKey key(reg, kPath, support::SettingsKey::Write);
        ASSERT_TRUE(key.WriteText("COM", "3"));
    }
    char text[8] = {};
    DWORD size = sizeof text, type = 0;
    ASSERT_EQ(::RegGetValueA(HKEY_CURRENT_USER, kSubkeys[0], "COM", RRF_RT_ANY, &type, text, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 2u) << "the terminating zero is stored";
    HKEY none = nullptr;
    EXPECT_NE(::RegOpenKeyExA(HKEY_USERS, kSubkeys[1], 0, KEY_READ, &none), ERROR_SUCCESS);

    support::SettingsKey key(reg, kPath, support::SettingsKey::Read);
    char com[2] = {'x', 'x'};
    EXPECT_TRUE(key.ReadText("COM", com, sizeof com, ""));
    EXPECT_STREQ(com, "3");
}

} // namespace
