// The emulator's Nxjbus.dll loaded by LoadLibrary, where it stands in for the real line: one retry
// after silence or a damaged answer, requests no real stack sends, and a transfer failure.
#include <windows.h>

#include "link/BusApi.h"
#include "tests/win/WineTestKit.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

class BusLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(winkit::LoadEmulatorBus(LUMEN_EMU_BUS_DIR, bus, control));
        ASSERT_EQ(Control("version 2.10"), 0); // a freshly powered unit
        handle = bus.open("COM1", "19200");
        ASSERT_GE(handle, 0);
    }
    void TearDown() override { bus.close(&handle); }
    int Control(const char* line) { return control(line, reply, sizeof reply); }

    unitlink::BusApi bus;
    winkit::EmuControlFn control = nullptr;
    int handle = -1;
    char reply[16384] = {};
};

// One retry after silence or a damaged answer, as over a real line: the unit sees both requests and
// acts on every one it could decode (kV one step up each time).
TEST_F(BusLibraryTest, OneRetryAfterSilenceOrADamagedAnswer) {
    unsigned short word = 0;
    const std::tuple<const char*, int, unsigned short> faults[] = {
        {"fault noanswer 2", 12, 70}, {"fault noanswer 1", 0, 71}, {"fault badcrc 1", 0, 73}, {"fault badcrc 2", 13, 75}};
    for (const auto& [line, result, kv] : faults) {
        ASSERT_EQ(Control(line), 0);
        EXPECT_EQ(bus.writeOneWord(handle, 1, 0x7040, 0x0001), result) << line;
        EXPECT_EQ(bus.readSeveralWords(handle, 1, 0x7012, 1, &word), 0);
        EXPECT_EQ(word, kv) << line;
    }
    EXPECT_EQ(bus.readSeveralWords(handle, 2, 0x7012, 1, &word), 12) << "another slave's request";
}

TEST_F(BusLibraryTest, RequestsTheRealStackNeverSendsAreBadFramesAndATransferFailureReachesNothing) {
    unsigned short words[130] = {};
    EXPECT_EQ(bus.readSeveralWords(handle, 1, 0x7000, 1, nullptr), 13);
    EXPECT_EQ(bus.readSeveralWords(handle, 1, 0x7000, 0, words), 13);
    EXPECT_EQ(bus.readSeveralWords(handle, 1, 0x7000, 126, words), 13);
    EXPECT_EQ(bus.writeSeveralWords(handle, 1, 0x7041, 1, nullptr), 13);
    EXPECT_EQ(bus.writeSeveralWords(handle, 1, 0x7041, 124, words), 13);
    ASSERT_EQ(Control("port fail"), 0);
    EXPECT_EQ(bus.writeOneWord(handle, 1, 0x7040, 0x0086), 14);
    ASSERT_EQ(Control("port ok"), 0);
    ASSERT_EQ(Control("history requests"), 0);
    EXPECT_STREQ(reply, "n=0") << "nothing reached the unit";
    EXPECT_EQ(bus.readSeveralWords(handle, 1, 0x700F, 1, words), 0) << "the same handle works again";
}

} // namespace
