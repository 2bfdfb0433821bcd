// The unit link against the emulator's in-process Nxjbus.dll under Wine: port opening with the real
// registry and lock, each software version, a second opening, data blocks and the restore file.
#include "host/ShotRecords.h"
#include "link/BlockUpdate.h"
#include "link/PortOpening.h"
#include "link/RestoreFile.h"
#include "nxlang/TextIds.h"
#include "support/RVSharedObj.h"
#include "support/UnitErrors.h"
#include "support/WinRegistry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>

using namespace unitlink;

namespace {

using ControlFn = int (*)(const char*, char*, int);

std::wstring BusLibraryPath() {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dir(exe, n);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    const std::string relative = EMU_BUS_RELATIVE_DIR;
    return dir + std::wstring(relative.begin(), relative.end()) + L"\\Nxjbus.dll";
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LinkEmulator : public ::testing::Test {
protected:
    void SetUp() override {
        module = LoadLibraryW(BusLibraryPath().c_str());
        ASSERT_NE(module, nullptr) << "error " << GetLastError();
        bus.open = Get<decltype(bus.open)>("JbusOpen");
        bus.close = Get<decltype(bus.close)>("JbusClose");
        bus.readSeveralWords = Get<decltype(bus.readSeveralWords)>("JbusReadSeveralWords");
        bus.writeOneWord = Get<decltype(bus.writeOneWord)>("JbusWriteOneWord");
        bus.writeSeveralWords = Get<decltype(bus.writeSeveralWords)>("JbusWriteSeveralWords");
        control = Get<ControlFn>("EmuControl");
        ASSERT_TRUE(bus.open && bus.close && bus.readSeveralWords && bus.writeOneWord && bus.writeSeveralWords &&
                    control);

        // A scratch folder and the settings the module reads, in this test prefix's registry.
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::filesystem::path(temp) / ("link-test-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder);
        SetPort("1");
        SetBaud(19200);

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
        if (module)
            FreeLibrary(module);
    }

    template <typename F>
    F Get(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    void Control(const std::string& line) {
        char reply[256];
        ASSERT_EQ(control(line.c_str(), reply, sizeof reply), 0) << line << ": " << reply;
    }
    static void SetPort(const char* port) {
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO", "COM", REG_SZ, port,
                                  static_cast<DWORD>(std::strlen(port) + 1)),
                  ERROR_SUCCESS);
    }
    static void SetBaud(DWORD baud) {
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
    std::string LogText() const { return ReadWholeFile(folder / "HalvexPan.csv"); }
    // The host text as the unit holds it now.
    std::string HostTextInUnit(uint16_t word) {
        uint16_t words[20] = {};
        EXPECT_EQ(bus.readSeveralWords(link->GetLinkHandle(), 1, word, 20, words), 0);
        return std::string(reinterpret_cast<const char*>(words), 39);
    }

    HMODULE module = nullptr;
    BusApi bus;
    ControlFn control = nullptr;
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

TEST_F(LinkEmulator, EachSoftwareVersionGetsItsRegisterMap) {
    struct Case {
        const char* version;
        int result, protocol;
        int32_t newFeatures;
        uint8_t major3;
    };
    for (const Case& c : {Case{"1.02", 15, 1, 1, 0}, Case{"2.10", 15, 2, 1, 0}, Case{"3.05", 15, 2, 1, 1},
                          Case{"0.99", 1, 0, 0, 0}}) {
        SCOPED_TRACE(c.version);
        link->CloseLink();
        messages.clear();
        newUnitFeatures = 0;
        unitMajor3 = 0;
        std::filesystem::remove(folder / "HalvexPan.csv");
        Control(std::string("version ") + c.version);

        EXPECT_EQ(Open(), c.result);
        EXPECT_EQ(unitMajor3, c.major3);
        if (c.result == 15) {
            ASSERT_NE(link->Get(), nullptr);
            EXPECT_EQ(link->Get()->GetProtocolVersion(), c.protocol);
            EXPECT_EQ(newUnitFeatures, c.newFeatures);
            EXPECT_NE(link->GetLinkHandle(), -1);
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(LogText(), "");
            EXPECT_EQ(HostTextInUnit(c.protocol == 1 ? 0x6818 : 0x6817), "Lumen 70" + std::string(31, ' '));
        } else {
            EXPECT_EQ(link->Get(), nullptr);
            EXPECT_EQ(link->GetLinkHandle(), -1);
            EXPECT_EQ(messages, (std::vector<std::pair<int, bool>>{{kMessageUnitTooOld, true}}));
            EXPECT_EQ(LogText(), kFailureEntry);
        }
    }
    EXPECT_EQ(latch.GetLatchedError(), 0) << "no request failed on the way";
}

TEST_F(LinkEmulator, WrongPortOrBaudFailsWithoutALink) {
    Control("version 1.02");
    for (const auto& [port, baud] : {std::pair<const char*, DWORD>{"A", 19200}, {"", 19200}, {"1", 12345}}) {
        SCOPED_TRACE(std::string(port) + " " + std::to_string(baud));
        std::filesystem::remove(folder / "HalvexPan.csv");
        SetPort(port);
        SetBaud(baud);
        EXPECT_EQ(Open(), 1);
        EXPECT_EQ(link->Get(), nullptr);
        EXPECT_EQ(LogText(), kFailureEntry);
    }
    EXPECT_EQ(latch.GetLatchedError(), 114) << "the identification read found no open port";
}

TEST_F(LinkEmulator, RestoreFileIs182BytesAndSurvivesAFailedSnapshot) {
    Control("version 2.10");
    ASSERT_EQ(Open(), 15);
    StdRestoreFileStore files;
    const std::string path = (folder / "restoreHalvexPan.dat").string();
    ASSERT_EQ(SaveRestoreFile(link->Get(), linkLock, files, path), RestoreSaveResult::Saved);
    const std::string good = ReadWholeFile(path);
    ASSERT_EQ(good.size(), 182u);
    EXPECT_EQ(std::string(good.c_str() + 12), "2.10") << "the identification's version field";

    // Saving over an existing file replaces it.
    ASSERT_EQ(UpdateBlock<PreferenceBlock>(*link->Get(), linkLock, [](PreferenceBlock& p) { p.SetDoseUnit(1); }),
              BlockUpdateResult::Done);
    ASSERT_EQ(SaveRestoreFile(link->Get(), linkLock, files, path), RestoreSaveResult::Saved);
    const std::string updated = ReadWholeFile(path);
    ASSERT_EQ(updated.size(), 182u);
    EXPECT_EQ(updated[142 + 28], 1);

    // A unit that stops answering during a snapshot (the request and its retry) leaves that copy in place.
    Control("fault noanswer 2");
    EXPECT_EQ(SaveRestoreFile(link->Get(), linkLock, files, path), RestoreSaveResult::UnitReadFailed);
    EXPECT_EQ(ReadWholeFile(path), updated);
    EXPECT_EQ(latch.GetLatchedError(), 112);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    // The write-back puts the saved blocks into the unit again.
    latch.Clear();
    ASSERT_EQ(UpdateBlock<PreferenceBlock>(*link->Get(), linkLock, [](PreferenceBlock& p) { p.SetDoseUnit(0); }),
              BlockUpdateResult::Done);
    EXPECT_EQ(RestoreUnitBlocks(link->Get(), linkLock, files, path), RestoreResult::Restored);
    PreferenceBlock now;
    ASSERT_TRUE(link->Get()->ReadPreferences(&now));
    EXPECT_EQ(now.DoseUnit(), 1);
    EXPECT_EQ(latch.GetLatchedError(), 0);
}

// The unit's rotation flag decides the module's mirror flag and the machine's "Rotation" setting.
TEST_F(LinkEmulator, RotationFlagSetsMirrorAndTheMachineSetting) {
    ASSERT_EQ(Open(), kOpenCommPortSuccess);
    auto rotation = [] {
        char text[8] = {};
        DWORD size = sizeof text;
        EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Classes\\HALVEX\\PANO", "Rotation", RRF_RT_REG_SZ,
                               nullptr, text, &size),
                  ERROR_SUCCESS);
        return std::string(text);
    };
    Control("rotation 1");
    EXPECT_EQ(host::UpdateRotation(*link, support::SystemRegistry()), 0);
    EXPECT_EQ(rotation(), "1");
    Control("rotation 0");
    EXPECT_EQ(host::UpdateRotation(*link, support::SystemRegistry()), 1) << "an unrotated image is mirrored";
    EXPECT_EQ(rotation(), "0");
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
