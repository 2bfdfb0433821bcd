// The settings lookup over the real registry: each of the three places, wrong types, clamping.
#include "support/Settings.h"
#include "support/WinRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// A scratch settings path, removed from all three places around each test.
const char kPath[] = "HALVEX\\LUMENTEST";
const char* const kSubkeys[] = {"Software\\HALVEX\\LUMENTEST", ".DEFAULT\\Software\\HALVEX\\LUMENTEST",
                                "Software\\Classes\\HALVEX\\LUMENTEST"};
const HKEY kRoots[] = {HKEY_CURRENT_USER, HKEY_USERS, HKEY_LOCAL_MACHINE};

void Put(int place, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(kRoots[place], kSubkeys[place], 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
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
};

TEST_F(SettingsRegistry, EachPlaceIsFoundAndTheEarlierOneWins) {
    auto& reg = support::SystemRegistry();
    PutNumber(2, "Machine", 3);
    PutNumber(1, "DefaultUser", 2);
    PutNumber(2, "DefaultUser", 99);
    int32_t v = 0;
    {
        // No current-user key: the default user's key is the primary one.
        support::SettingsKey key(reg, kPath, support::SettingsKey::Read);
        ASSERT_TRUE(key.IsOpen());
        EXPECT_TRUE(key.ReadNumber("DefaultUser", v, 0));
        EXPECT_EQ(v, 2);
        EXPECT_TRUE(key.ReadNumber("Machine", v, 0));
        EXPECT_EQ(v, 3);
    }
    PutNumber(0, "DefaultUser", 1);
    support::SettingsKey key(reg, kPath, support::SettingsKey::Read);
    EXPECT_TRUE(key.ReadNumber("DefaultUser", v, 0));
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(support::ReadNumberOnce(reg, kPath, "Machine", v, 0));
    EXPECT_EQ(v, 3);
}

TEST_F(SettingsRegistry, SecurityTimeOutIsCappedAndWrongTypesReadAsDefaults) {
    auto& reg = support::SystemRegistry();
    PutNumber(0, "SecurityTimeOut", 5000);
    Put(0, "WithVocal", REG_SZ, "1", 2);
    const uint64_t wide = 7;
    Put(0, "Baudrate", REG_QWORD, &wide, sizeof wide);
    Put(0, "COM", REG_SZ, "3", 2);
    support::SettingsKey key(reg, kPath, support::SettingsKey::Read);
    int32_t v = -1;
    EXPECT_TRUE(key.ReadNumber("SecurityTimeOut", v, 0, support::kNoBound, 2000));
    EXPECT_EQ(v, 2000);
    EXPECT_FALSE(key.ReadNumber("WithVocal", v, 0));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(key.ReadNumber("Baudrate", v, 0));
    EXPECT_EQ(v, 0);
    char com[2] = {'x', 'x'};
    EXPECT_TRUE(key.ReadText("COM", com, sizeof com, ""));
    EXPECT_STREQ(com, "3");
}

TEST_F(SettingsRegistry, WriteTextStoresUnderTheCurrentUserOnly) {
    auto& reg = support::SystemRegistry();
    {
        support::SettingsKey key(reg, kPath, support::SettingsKey::Write);
        ASSERT_TRUE(key.WriteText("Rotation", "1"));
    }
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kSubkeys[0], 0, KEY_READ, &key), ERROR_SUCCESS);
    char text[8] = {};
    DWORD size = sizeof text, type = 0;
    EXPECT_EQ(::RegQueryValueExA(key, "Rotation", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 2u) << "the terminating zero is stored";
    EXPECT_STREQ(text, "1");
    HKEY none = nullptr;
    EXPECT_NE(::RegOpenKeyExA(HKEY_USERS, kSubkeys[1], 0, KEY_READ, &none), ERROR_SUCCESS);
}

} // namespace
