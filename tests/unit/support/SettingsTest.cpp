// The three-place settings lookup, value types and clamping; what is written where is checked on the
// real registry under Wine.
#include "support/Settings.h"
#include "tests/unit/support/MemoryRegistry.h"

#include <gtest/gtest.h>

#include <cstring>

using support::RegistryRoot;
using support::SettingsKey;

namespace {

const std::string kUser = "Software\\HALVEX\\PANO\\LUMEN70";
const std::string kDefaultUser = ".DEFAULT\\Software\\HALVEX\\PANO\\LUMEN70";
const std::string kMachine = "Software\\Classes\\HALVEX\\PANO\\LUMEN70";

TEST(Settings, FirstPlaceHoldingTheValueWinsInLookupOrder) {
    testing_support::MemoryRegistry reg;
    reg.SetNumber(RegistryRoot::LocalMachine, kMachine, "Baudrate", 9600);
    reg.SetNumber(RegistryRoot::Users, kDefaultUser, "Baudrate", 38400);
    reg.SetNumber(RegistryRoot::LocalMachine, kMachine, "Logo", 2);
    const auto read = [&](const char* name) {
        int32_t v = -1;
        EXPECT_TRUE(SettingsKey(reg, support::kLumenPath, SettingsKey::Read).ReadNumber(name, v, 0)) << name;
        return v;
    };
    // Without a current user key, the default user's value is found before the machine's.
    EXPECT_EQ(read("Baudrate"), 38400);
    reg.CreateKey(RegistryRoot::CurrentUser, kUser);
    EXPECT_EQ(read("Baudrate"), 38400) << "an empty current user key is passed over";
    EXPECT_EQ(read("Logo"), 2) << "machine key is consulted when the users have no value";
    SettingsKey none(reg, "HALVEX\\OTHER", SettingsKey::Read);
    int32_t v = 1;
    EXPECT_FALSE(none.ReadNumber("StartPGM", v, 0));
    EXPECT_EQ(v, 0) << "no key gives the default";
    reg.SetNumber(RegistryRoot::CurrentUser, kUser, "Baudrate", 19200);
    EXPECT_EQ(read("Baudrate"), 19200);
}

TEST(Settings, ClampsUpperBoundOnlyAndTreatsWrongTypeAsMissing) {
    testing_support::MemoryRegistry reg;
    reg.SetNumber(RegistryRoot::CurrentUser, kUser, "SecurityTimeOut", 5000);
    reg.SetNumber(RegistryRoot::CurrentUser, kUser, "Negative", static_cast<uint32_t>(-250));
    reg.SetText(RegistryRoot::CurrentUser, kUser, "WithVocal", "1");
    reg.SetNumber(RegistryRoot::LocalMachine, kMachine, "WithVocal", 1);

    SettingsKey key(reg, support::kLumenPath, SettingsKey::Read);
    int32_t v = 0;
    EXPECT_TRUE(key.ReadNumber("SecurityTimeOut", v, 0, support::kNoBound, 2000));
    EXPECT_EQ(v, 2000);
    EXPECT_TRUE(key.ReadNumber("Negative", v, 0, support::kNoBound, 2000));
    EXPECT_EQ(v, -250) << "only the upper bound clamps";
    v = 77;
    EXPECT_FALSE(key.ReadNumber("WithVocal", v, 0)) << "a text where a number is expected counts as missing";
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(key.ReadNumber("Absent", v, 9000, support::kNoBound, 2000));
    EXPECT_EQ(v, 2000) << "the default is clamped too";

    // The one-shot lookup goes on to the next place after a value of the wrong type.
    EXPECT_TRUE(support::ReadNumberOnce(reg, support::kLumenPath, "WithVocal", v, 0));
    EXPECT_EQ(v, 1);
}

TEST(Settings, ReadTextRespectsSizeAndFallsBackToDefault) {
    testing_support::MemoryRegistry reg;
    reg.SetText(RegistryRoot::CurrentUser, "Software\\HALVEX\\PANO", "COM", "3");
    reg.SetText(RegistryRoot::Users, ".DEFAULT\\Software\\HALVEX\\PANO", "Long", "much too long");
    SettingsKey key(reg, support::kPanoPath, SettingsKey::Read);
    char out[4];
    std::memset(out, 'X', sizeof out);
    EXPECT_TRUE(key.ReadText("COM", out, sizeof out, ""));
    EXPECT_STREQ(out, "3");
    EXPECT_FALSE(key.ReadText("Long", out, sizeof out, "defaultlong"));
    EXPECT_STREQ(out, "def") << "the default is cut to the buffer";
    EXPECT_FALSE(key.ReadText("COM", nullptr, 4, ""));
}

} // namespace
