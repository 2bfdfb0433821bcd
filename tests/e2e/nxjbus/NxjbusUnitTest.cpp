// The real Nxjbus.dll under Wine against the unit emulator's serial front end, through the unit link's
// register maps: every register operation once, and each fault the emulator injects giving its error
// number in the module's latch. Port, baud, protocol and the emulator's control port come from the
// environment (set by run-unit-test.sh).
#include "nxjbus/Nxjbus.h"

#include "link/Jbus.h"
#include "link/JbusV1.h"
#include "link/JbusV2.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

std::string Env(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// One scenario line to the emulator's control port; returns its reply line.
std::string Control(const std::string& line) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return "no socket";
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(Env("NXJBUS_TEST_CONTROL", "0").c_str())));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::string text = line + "\n";
        ::send(s, text.data(), static_cast<int>(text.size()), 0);
        char c;
        while (::recv(s, &c, 1, 0) == 1 && c != '\n')
            reply += c;
    } else {
        reply = "no connection";
    }
    ::closesocket(s);
    return reply;
}

class NxjbusUnit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    void SetUp() override {
        unitlink::BusApi bus;
        bus.open = JbusOpen;
        bus.close = JbusClose;
        bus.readSeveralWords = JbusReadSeveralWords;
        bus.writeOneWord = JbusWriteOneWord;
        bus.writeSeveralWords = JbusWriteSeveralWords;
        if (Env("NXJBUS_TEST_PROTOCOL", "1") == "2")
            m_link = std::make_unique<unitlink::CJbusV2>(bus, m_latch);
        else
            m_link = std::make_unique<unitlink::CJbusV1>(bus, m_latch);
        ASSERT_TRUE(m_link->Open(Env("NXJBUS_TEST_PORT", "COM5").c_str(),
                                 std::atoi(Env("NXJBUS_TEST_BAUD", "19200").c_str())))
            << "system error " << JbusLastSystemError(-1);
        ASSERT_EQ(Control("fault none"), "ok");
    }
    void TearDown() override {
        Control("fault none");
        m_link->Close();
    }
    unitlink::ErrorLatch m_latch;
    std::unique_ptr<unitlink::CJbus> m_link;
};

TEST_F(NxjbusUnit, EveryRegisterOperationOnce) {
    unitlink::CJbus& u = *m_link;
    unitlink::IdentificationBlock id;
    EXPECT_TRUE(u.ReadIdentification(&id));
    uint16_t word = 0;
    EXPECT_TRUE(u.ReadUnitState(&word));
    EXPECT_TRUE(u.ReadUnitError(&word));
    EXPECT_TRUE(u.ReadUnitConditions(&word));
    unitlink::SelectionRecord selection;
    EXPECT_TRUE(u.ReadSelection(&selection));
    unitlink::ShotResultRecord shot;
    EXPECT_TRUE(u.ReadShotResult(&shot));
    unitlink::MeasurementRecord measurements;
    EXPECT_TRUE(u.ReadMeasurements(&measurements));
    EXPECT_TRUE(u.ReadCoolingTime(&word));
    EXPECT_TRUE(u.ReadGeneralCounter(&word));
    unitlink::ImageLayoutRecord layout;
    EXPECT_TRUE(u.ReadImageLayout(&layout));
    unitlink::LinkCounterRecord counters;
    EXPECT_TRUE(u.ReadLinkCounters(&counters));
    EXPECT_TRUE(u.ReadAcquisitionStatus(&word));
    EXPECT_TRUE(u.WriteCommand(0x0085)); // panel active: harmless at any time
    unitlink::FactorySettingsBlock factory;
    EXPECT_TRUE(u.ReadFactorySettings(&factory));
    EXPECT_TRUE(u.WriteFactorySettings(&factory));
    unitlink::CalibrationTable calibration;
    EXPECT_TRUE(u.ReadCalibrationTable(&calibration));
    EXPECT_TRUE(u.WriteCalibrationTable(&calibration));
    unitlink::PreferenceBlock preferences;
    EXPECT_TRUE(u.ReadPreferences(&preferences));
    EXPECT_TRUE(u.WritePreferences(&preferences));
    unitlink::UnitTextArea text;
    EXPECT_TRUE(u.ReadUnitText(&text));
    EXPECT_TRUE(u.WriteUnitText(&text));
    unitlink::DisplayCodeText code;
    EXPECT_TRUE(u.ReadDisplayCode(&code));
    EXPECT_TRUE(u.WriteDisplayCode(&code));
    unitlink::CounterRecord unitCounters;
    EXPECT_TRUE(u.ReadUnitCounters(&unitCounters));
    uint32_t counter = 0;
    EXPECT_TRUE(u.ReadUnitCounter(&counter));
    EXPECT_TRUE(u.WriteHostText(&text));
    EXPECT_EQ(m_latch.GetLatchedError(), 0);
}

struct InjectedFault {
    const char* line;
    int32_t latched;
};

TEST_F(NxjbusUnit, InjectedFaultsLatchTheirNumbers) {
    const InjectedFault faults[] = {
        {"fault noanswer 2", 112},    {"fault badcrc 2", 113},      {"fault exception 2 1", 102},
        {"fault exception 6 1", 106}, {"fault exception 4 1", 104},
    };
    for (const InjectedFault& f : faults) {
        m_latch.Clear();
        ASSERT_EQ(Control(f.line), "ok") << f.line;
        uint16_t state = 0xBEEF;
        EXPECT_FALSE(m_link->ReadUnitState(&state)) << f.line;
        EXPECT_EQ(state, 0) << f.line; // a failed read leaves zeros
        EXPECT_EQ(m_latch.GetLatchedError(), f.latched) << f.line;
        // The first error stays; the link works again at once.
        EXPECT_TRUE(m_link->ReadUnitState(&state)) << f.line;
        EXPECT_EQ(m_latch.GetLatchedError(), f.latched) << f.line;
    }
}

TEST_F(NxjbusUnit, OneLostOrDamagedAnswerIsRepairedByTheRetry) {
    for (const char* line : {"fault noanswer 1", "fault badcrc 1"}) {
        m_latch.Clear();
        ASSERT_EQ(Control(line), "ok");
        uint16_t state = 0;
        EXPECT_TRUE(m_link->ReadUnitState(&state)) << line;
        EXPECT_EQ(m_latch.GetLatchedError(), 0) << line;
    }
}

TEST_F(NxjbusUnit, PollingRound) {
    constexpr int kRounds = 40;
    uint16_t word;
    unitlink::SelectionRecord selection;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        ASSERT_TRUE(m_link->ReadUnitState(&word));
        ASSERT_TRUE(m_link->ReadUnitError(&word));
        ASSERT_TRUE(m_link->ReadUnitConditions(&word));
        ASSERT_TRUE(m_link->ReadSelection(&selection));
    }
    double roundMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kRounds;
    // Protocol 1 reads 4 frames (3 x 1 word, 7 words); protocol 2 reads the selection in 2 frames.
    const bool v2 = m_link->GetProtocolVersion() == 2;
    const int bytes = v2 ? 5 * 8 + 3 * 7 + (5 + 12) + 7 : 4 * 8 + 3 * 7 + 19;
    const double wireMs = bytes * 10.0 * 1000.0 / std::atof(Env("NXJBUS_TEST_BAUD", "19200").c_str());
    std::printf("[ measured ] emulator, protocol %d at %s baud: polling round %.2f ms, wire time %.2f ms\n",
                v2 ? 2 : 1, Env("NXJBUS_TEST_BAUD", "19200").c_str(), roundMs, wireMs);
}

} // namespace
