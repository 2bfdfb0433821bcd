// The unit link against the emulator's in-process Nxjbus.dll under Wine, with the real registry and
// lock: port opening for each software version, and a session recorded then replayed.
#include "link/PortOpening.h"
#include "nxlang/TextIds.h"
#include "support/RVSharedObj.h"
#include "support/UnitErrors.h"
#include "support/WinRegistry.h"
#include "tests/win/WineTestKit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

using namespace unitlink;

namespace {

class LinkEmulator : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(winkit::LoadEmulatorBus(LUMEN_EMU_BUS_DIR, bus, control));
        // A scratch folder and the settings the module reads, in this test prefix's registry.
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::filesystem::path(temp) / ("link-test-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder);
        SetPortSettings("1", 19200);

        log = std::make_unique<support::EventLog>(
            logLock, [this] { return (folder / "HalvexPan.csv").string(); },
            [] { return support::LogTime{5, 3, 2026, 9, 7}; });
        log->SetLogTag("LUMEN70");
        link = std::make_unique<UnitLink>(linkLock, bus, latch, [](unsigned) {});
    }
    void TearDown() override {
        link.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\HALVEX");
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    void Control(const std::string& line) {
        char reply[256];
        ASSERT_EQ(control(line.c_str(), reply, sizeof reply), 0) << line << ": " << reply;
    }
    static void SetPortSettings(const char* port, DWORD baud) {
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO", "COM", REG_SZ, port,
                                  static_cast<DWORD>(std::strlen(port) + 1)),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO\\LUMEN70", "Baudrate", REG_DWORD,
                                  &baud, sizeof baud),
                  ERROR_SUCCESS);
    }
    int Open() {
        PortOpeningServices services{support::SystemRegistry(), *log,
                                     [this](int id, bool errorIcon) { messages.emplace_back(id, errorIcon); },
                                     [](int id) { return id == kTextModuleGreeting ? std::string("Lumen 70") : ""; }};
        return OpenCommPort(*link, services, UnitFeatureFlags{newUnitFeatures, unitMajor3});
    }
    std::string LogText() const {
        std::ifstream in(folder / "HalvexPan.csv", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The host text as the unit holds it now.
    std::string HostTextInUnit(uint16_t word) {
        uint16_t words[20] = {};
        EXPECT_EQ(bus.readSeveralWords(link->GetLinkHandle(), 1, word, 20, words), 0);
        return std::string(reinterpret_cast<const char*>(words), 39);
    }

    BusApi bus;
    winkit::EmuControlFn control = nullptr;
    ErrorLatch latch;
    CRVSharedObj linkLock;
    CRVSharedObj logLock{"LinkTestLogMutex"};
    std::filesystem::path folder;
    std::unique_ptr<support::EventLog> log;
    std::unique_ptr<UnitLink> link;
    std::vector<std::pair<int, bool>> messages;
    int32_t newUnitFeatures = 0;
    uint8_t unitMajor3 = 0;
};

const std::string kFailureEntry = "1:[LUMEN70];Error n\xB0" "401;05/03/2026 09h07min;CLumen70App::OpenCommPort:999\r\n";

// Port opening with the real registry: each software version gets its register map and greets the
// unit; a unit too old, a port or baud the settings spell wrong leave no link and log the failure.
TEST_F(LinkEmulator, EachSoftwareVersionGetsItsRegisterMapAndBadSettingsNoLink) {
    const struct {
        const char *version, *port;
        DWORD baud;
        int result, protocol;
        uint8_t major3;
    } rows[] = {{"1.02", "1", 19200, 15, 1, 0}, {"2.10", "1", 19200, 15, 2, 0}, {"3.05", "1", 19200, 15, 2, 1},
                {"0.99", "1", 19200, 1, 0, 0},  {"1.02", "A", 19200, 1, 0, 0},  {"1.02", "", 19200, 1, 0, 0},
                {"1.02", "1", 12345, 1, 0, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.version) + " COM" + row.port + " " + std::to_string(row.baud));
        link->CloseLink();
        messages.clear();
        newUnitFeatures = 0;
        unitMajor3 = 0;
        std::filesystem::remove(folder / "HalvexPan.csv");
        Control(std::string("version ") + row.version);
        SetPortSettings(row.port, row.baud);
        EXPECT_EQ(Open(), row.result);
        EXPECT_EQ(unitMajor3, row.major3);
        if (row.result != 15) {
            EXPECT_EQ(link->Get(), nullptr);
            if (row.version[0] == '0') {
                EXPECT_EQ(messages, (std::vector<std::pair<int, bool>>{{kMessageUnitTooOld, true}}));
            }
            EXPECT_EQ(LogText(), kFailureEntry);
            continue;
        }
        ASSERT_NE(link->Get(), nullptr);
        EXPECT_EQ(link->Get()->GetProtocolVersion(), row.protocol);
        EXPECT_EQ(newUnitFeatures, 1);
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(LogText(), "");
        EXPECT_EQ(HostTextInUnit(row.protocol == 1 ? 0x6818 : 0x6817), "Lumen 70" + std::string(31, ' '));
    }
}

// A session recorded against the emulator with faults on the line and in the unit, then replayed from
// its trace: the port opening shows the same messages, each step latches the same error, the panel
// would show the same text, and the slow answer is slow again. A request the trace never saw is
// answered with silence and reported.
TEST_F(LinkEmulator, ReplayedSessionLatchesTheSameErrorsAndShowsTheSameMessages) {
    struct Outcome {
        int32_t latched;
        UINT panelText; // 0: none
        uint16_t value;
        bool slow;
        bool operator==(const Outcome&) const = default;
    };
    // The unit line is played only while recording; the replay must bring the same from the trace.
    struct Step {
        const char* unit;
        std::function<bool(CJbus&, uint16_t&)> op;
        bool errorWord = false; // the value read is the unit's error, latched as the poll does
    };
    auto readError = [](CJbus& j, uint16_t& v) { return j.ReadUnitError(&v); };
    auto writeText = [](CJbus& j, uint16_t&) {
        UnitTextArea text{};
        std::memcpy(text.data(), "REPLAY", 6);
        return j.WriteUnitText(&text);
    };
    const Step steps[] = {
        {"fault noanswer 2", readError, true},                                         // silence twice
        {"fault badcrc 1", [](CJbus& j, uint16_t& v) { return j.ReadUnitState(&v); }},    // the retry passes
        {"fault badcrc 2", [](CJbus& j, uint16_t& v) { return j.ReadCoolingTime(&v); }},  // damaged twice
        {"fault exception 6 1", [](CJbus& j, uint16_t&) { return j.WriteCommand(0x0105); }}, // busy
        {"error 12", readError, true},
        {"fault slow 400 1", readError, true},
        {"error 0", writeText},
    };
    auto session = [&](bool recording) {
        messages.clear();
        std::vector<Outcome> outcomes{{Open(), 0, 0, false}};
        for (const Step& step : steps) {
            if (recording)
                Control(step.unit);
            latch.Clear();
            uint16_t value = 0;
            const auto start = std::chrono::steady_clock::now();
            support::LockGuard guard(link->Lock());
            step.op(*link->Get(), value);
            if (step.errorWord)
                latch.RecordError(value);
            const int32_t code = latch.GetLatchedError();
            outcomes.push_back({code, support::HasUnitErrorTexts(code) ? nxlang::ErrorPanelText(code) : 0u, value,
                                std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300)});
        }
        link->CloseLink();
        return outcomes;
    };

    Control("version 2.10");
    const std::string trace = (folder / "session.trace").string();
    Control("record " + trace);
    const std::vector<Outcome> recorded = session(true);
    const auto openingMessages = messages;
    Control("record off");
    ASSERT_EQ(recorded[0].latched, kOpenCommPortSuccess);
    EXPECT_EQ(recorded[1].latched, 112);
    EXPECT_EQ(recorded[2].latched, 0);
    EXPECT_EQ(recorded[3].latched, 113);
    EXPECT_EQ(recorded[4].latched, 106);
    EXPECT_EQ(recorded[5].panelText, nxlang::ErrorPanelText(12));
    EXPECT_TRUE(recorded[6].slow);

    Control("error 0"); // the model must not be what answers now
    Control("replay " + trace);
    EXPECT_EQ(session(false), recorded);
    EXPECT_EQ(messages, openingMessages);
    auto status = [&] {
        char text[512] = {};
        control("replay status", text, sizeof text);
        return std::string(text);
    };
    EXPECT_NE(status().find(" 0 divergences"), std::string::npos) << status();

    // Beyond the trace: silence (12, after its retry), both attempts reported.
    const int handle = bus.open("COM1", "19200");
    uint16_t word = 0;
    EXPECT_EQ(bus.readSeveralWords(handle, 1, 0x700F, 1, &word), 12);
    EXPECT_NE(status().find(" 2 divergences; first: request 01 03 70 0F 00 01"), std::string::npos) << status();
    int closing = handle;
    bus.close(&closing);
}

} // namespace
