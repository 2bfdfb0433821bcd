// The real Nxjbus.dll under Wine against the unit emulator's serial front end, through the unit link's
// register maps: every register operation once, and each fault the emulator injects giving its error
// number in the module's latch. Port, baud, protocol and the emulator's control port come from the
// environment (set by run-unit-test.sh).
#include <winsock2.h>
#include <windows.h>

#include "tests/e2e/link/LinkOverLine.h"

namespace {

using linkline::Env;

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
        m_link = linkline::OpenLink(std::atoi(Env("NXJBUS_TEST_PROTOCOL", "1").c_str()), m_latch,
                                    Env("NXJBUS_TEST_PORT", "COM5"),
                                    std::atoi(Env("NXJBUS_TEST_BAUD", "19200").c_str()));
        ASSERT_NE(m_link->GetHandle(), -1);
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
    linkline::EveryRegisterOperationOnce(*m_link);
    EXPECT_EQ(m_latch.GetLatchedError(), 0);
}

// latched 0: one lost or damaged answer, which the retry repairs.
struct InjectedFault {
    const char* line;
    int32_t latched;
};

TEST_F(NxjbusUnit, InjectedFaultsLatchTheirNumbers) {
    const InjectedFault faults[] = {
        {"fault noanswer 2", 112},    {"fault badcrc 2", 113},      {"fault exception 2 1", 102},
        {"fault exception 6 1", 106}, {"fault exception 4 1", 104}, {"fault noanswer 1", 0},
        {"fault badcrc 1", 0},
    };
    for (const InjectedFault& f : faults) {
        SCOPED_TRACE(f.line);
        m_latch.Clear();
        ASSERT_EQ(Control(f.line), "ok");
        uint16_t state = 0xBEEF;
        EXPECT_EQ(m_link->ReadUnitState(&state), f.latched == 0);
        if (f.latched != 0)
            EXPECT_EQ(state, 0); // a failed read leaves zeros
        EXPECT_EQ(m_latch.GetLatchedError(), f.latched);
        // The first error stays; the link works again at once.
        EXPECT_TRUE(m_link->ReadUnitState(&state));
        EXPECT_EQ(m_latch.GetLatchedError(), f.latched);
    }
}

} // namespace
