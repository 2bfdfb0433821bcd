// Port opening: settings, version choice and flags, identification check, failure table with its log
// entries, and the link's closing.
#include "FakeBus.h"
#include "link/PortOpening.h"
#include "support/Settings.h"
#include "tests/unit/support/MemoryRegistry.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

using namespace unitlink;
using linktest::BusCall;
using linktest::FakeBus;
using linktest::MemoryLock;

namespace {

constexpr uint16_t kIdentificationWord = 0x7000;
constexpr uint16_t kHostTextWordV1 = 0xD030 / 2;
const std::string kGreeting = "Lumen 70 pr\xEAt";

struct PortOpening : ::testing::Test {
    FakeBus bus;
    ErrorLatch latch;
    MemoryLock lock;
    MemoryLock logLock;
    testing_support::MemoryRegistry registry;
    std::filesystem::path logPath;
    std::unique_ptr<support::EventLog> log;
    std::vector<std::pair<int, bool>> messages;
    UnitLink link{lock, bus.Api(), latch, [](unsigned) {}};
    int32_t newUnitFeatures = 7;
    uint8_t unitMajor3 = 0;

    void SetUp() override {
        logPath = std::filesystem::temp_directory_path() /
                  ("link-log-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".csv");
        std::filesystem::remove(logPath);
        log = std::make_unique<support::EventLog>(
            logLock, [this] { return logPath.string(); },
            [] {
                return support::LogTime{5, 3, 2026, 9, 7};
            });
        log->SetLogTag("LUMEN70");
        SetComPort();
        const auto users = support::RegistryRoot::Users;
        registry.SetNumber(users, support::SubkeyFor(users, support::kLumenPath), "Baudrate", 38400);
        SetVersion("1.02");
    }
    void TearDown() override { std::filesystem::remove(logPath); }

    void SetComPort() {
        const auto user = support::RegistryRoot::CurrentUser;
        registry.SetText(user, support::SubkeyFor(user, support::kPanoPath), "COM", "2");
    }
    void SetVersion(const std::string& version) {
        std::string block(30, '\0');
        block.replace(0, 6, "LUMEN");
        block.replace(12, version.size(), version);
        bus.SetBytes(kIdentificationWord, block);
    }
    int Open() {
        PortOpeningServices services{
            registry, *log, [this](int id, bool errorIcon) { messages.emplace_back(id, errorIcon); },
            [](int id) { return id == kTextModuleGreeting ? kGreeting : std::string(); }};
        return OpenCommPort(link, services, UnitFeatureFlags{newUnitFeatures, unitMajor3});
    }
    std::string LogText() const {
        std::ifstream in(logPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

const std::string kFailureEntry = "1:[LUMEN70];Error n\xB0"
                                  "401;05/03/2026 09h07min;CLumen70App::OpenCommPort:999\r\n";

TEST_F(PortOpening, Version102KeepsProtocol1AndGreetsTheUnit) {
    EXPECT_EQ(Open(), 15);
    ASSERT_NE(link.Get(), nullptr);
    EXPECT_EQ(link.Get()->GetProtocolVersion(), 1);
    EXPECT_EQ(newUnitFeatures * 10 + unitMajor3, 10);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(LogText(), "");
    EXPECT_EQ(bus.calls.at(0).port + ":" + bus.calls.at(0).baud, "COM2:38400") << "baud of the default user";

    // Identification read by the version choice, read again by the check, then the greeting.
    const auto transfers = bus.Transfers();
    ASSERT_EQ(transfers.size(), 3u);
    EXPECT_EQ(transfers[1].address, kIdentificationWord);
    EXPECT_EQ(transfers[2].address, kHostTextWordV1);
    ASSERT_EQ(transfers[2].words.size(), 20u);
    EXPECT_EQ(transfers[2].words[5], 0x8872) << "'r' and the unit's code for e circumflex";
    EXPECT_EQ(transfers[2].words[19], 0x0020) << "a blank, then the terminating 0";
    EXPECT_EQ(lock.depth(), 0);
}

// The version choice per software version is checked against the emulator under Wine; here the
// failure paths, each leaving no link, its message and its log line (newest first).
TEST_F(PortOpening, FailuresLeaveNoLinkAndTellWhy) {
    SetVersion("0.99");
    EXPECT_EQ(Open(), 1);
    EXPECT_EQ(messages, (std::vector<std::pair<int, bool>>{{4672, true}}));
    EXPECT_EQ(link.GetLinkHandle(), -1);
    EXPECT_EQ(bus.CountOf(BusCall::Close), 1) << "the port is given back";
    EXPECT_EQ(lock.depth(), 0);

    SetVersion("1.02");
    for (const uint16_t failing : {kIdentificationWord, kHostTextWordV1}) {
        bus.failAt = {{failing, 12}};
        EXPECT_EQ(Open(), 1);
        EXPECT_EQ(link.Get(), nullptr) << failing;
    }
    EXPECT_EQ(LogText(), kFailureEntry + kFailureEntry + kFailureEntry);

    registry = {};
    SetComPort();
    bus.calls.clear();
    messages.clear();
    EXPECT_EQ(Open(), 1);
    EXPECT_EQ(messages, (std::vector<std::pair<int, bool>>{{4671, false}}));
    EXPECT_TRUE(bus.calls.empty());
    EXPECT_EQ(LogText(), kFailureEntry +
                             "1:[LUMEN70];Register base read failed;05/03/2026 09h07min;"
                             "CLumen70App::OpenCommPort:952\r\n" +
                             kFailureEntry + kFailureEntry + kFailureEntry);
}

TEST_F(PortOpening, SecondOpeningReusesTheLink) {
    ASSERT_EQ(Open(), 15);
    CJbus* first = link.Get();
    bus.calls.clear();
    EXPECT_EQ(Open(), 15);
    EXPECT_EQ(link.Get(), first);
    EXPECT_EQ(bus.CountOf(BusCall::Open), 0) << "an open link is used as it is";
    EXPECT_EQ(bus.Transfers().size(), 2u) << "identification check and greeting again";

    // After the panel closed the bus, the next opening re-opens the same object.
    first->Close();
    bus.calls.clear();
    EXPECT_EQ(Open(), 15);
    EXPECT_EQ(link.Get(), first);
    EXPECT_EQ(bus.CountOf(BusCall::Open), 1);
}

TEST(UnitVersion, ParsedWithoutTheProcessLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"); // may be missing; the parse must not care either way
    const UnitVersion v = ParseUnitVersion("1.02");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_TRUE(v.AtLeast(1, 2));
    EXPECT_FALSE(ParseUnitVersion("1.019999").AtLeast(1, 2));
    EXPECT_TRUE(ParseUnitVersion(" 1.1").AtLeast(1, 2)) << "1.1 is 1.10";
    EXPECT_FALSE(ParseUnitVersion("abc").AtLeast(1, 0));
}

} // namespace
