// Portable model of the X-ray unit as a JBUS slave: registers of both protocol versions, command words,
// exposure cycle, errors, data blocks, calibrations and link fault injection. Not thread-safe: the front
// ends serialise every call.
#pragma once

#include "emulator/Clock.h"
#include "emulator/History.h"
#include "emulator/UnitDefaults.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

// Modbus exception codes the unit answers with.
enum Exception : int {
    kOk = 0,
    kIllegalFunction = 1,
    kIllegalAddress = 2,
    kIllegalValue = 3,
    kDeviceBusy = 6,
};

enum class Block { Calibration, Factory, Preferences };

enum class FaultKind { None, NoAnswer, BadCrc, Exception, Slow };
struct LinkFault {
    FaultKind kind = FaultKind::None;
    int exceptionCode = 0;
    uint32_t delayMs = 0;
};
// Which requests an armed fault waits for: any, writes of one command word, requests whose span covers
// one register, or one function code.
struct FaultTarget {
    enum class Kind { Any, Command, Address, Function } kind = Kind::Any;
    uint16_t value = 0;
};
// A request as the unit decodes it; firstValue is the first word written (the command word).
struct Request {
    uint8_t function = 0;
    uint16_t address = 0;
    uint16_t count = 0;
    uint16_t firstValue = 0;
};

// Word addresses of the two areas outside the register base, and the base itself.
constexpr uint16_t kRegisterBaseWord = 0x7000;
constexpr uint16_t kIdentificationAreaWord = 0x6809;
constexpr uint16_t kHostTextWordV1 = 0x6818;
constexpr uint16_t kHostTextWordV2 = 0x6817;
constexpr uint16_t kMaxReadWords = 125;
constexpr uint16_t kMaxWriteWords = 123;

// Cycle states of the state word (bits 2-5).
enum CycleState : uint16_t {
    kCycleIdle = 0,
    kCyclePreparing = 1,
    kCycleEmitting = 2,
    kCycleAbortPreparation = 4, // switch released before emission
    kCycleAbortEmission = 5,    // switch released during emission
    kCycleAbortError = 6,       // a unit error stopped the cycle
    kCycleAbortReset = 7,       // reset or restart command
};

constexpr size_t kCalibrationBytes = 80, kFactoryBytes = 32, kPreferenceBytes = 40;

class UnitModel {
public:
    // version: the identification's version text ("1.02" protocol 1, "2.10" or "3.05" protocol 2).
    explicit UnitModel(Clock& clock, std::string_view version = defaults::kDefaultVersion);

    // At most five characters (the field holds six with its terminator), digits and one point.
    static bool IsValidVersion(std::string_view version);
    int ProtocolVersion() const { return m_protocol; }
    const std::string& Version() const { return m_version; }
    Clock& GetClock() { return m_clock; }

    // Bus side: 0 on success or the Modbus exception code.
    int ReadRegisters(uint16_t wordAddress, uint16_t count, uint16_t* out);
    int WriteRegisters(uint16_t wordAddress, uint16_t count, const uint16_t* values);
    // One call per request the unit sees: notes it in the history and returns the fault to play on it.
    // A fault aimed at this kind of request wins over an untargeted one.
    LinkFault BeginRequest(const Request& request);
    // Frame statistics the unit keeps (link counter record).
    void CountFrame(bool good);

    // A command word as if written to the command register.
    int ExecuteCommand(uint16_t word);

    // Scenario inputs.
    bool PressSwitch(); // false when the unit is not ready
    void ReleaseSwitch();
    bool Expose(std::optional<uint32_t> holdMs); // press, release after holdMs or at the end
    void SetError(uint16_t code);
    void SetConditions(uint16_t conditions); // protocol 2 layout
    void SetConditionsRawV1(uint16_t raw);   // protocol 1 raw layout
    void SetWaitingSeconds(uint32_t seconds);
    void SetWaitingNoValue();
    void SetAccess(uint16_t bits); // state-word bits 10-11 (2 = technical menu)
    void SetVoice(bool on) { m_voice = on; }
    void SetRotation(uint16_t flag) { m_rotation = flag; }
    void FailNextAcquisition(bool fail) { m_failNextAcquisition = fail; }
    void SetPanelActive(bool active);
    // Arms a fault for the next `requests` requests of the target's kind; a kind None clears every fault.
    void InjectFault(LinkFault fault, uint32_t requests, FaultTarget target = {});
    void SetPortMissing(bool missing) { m_portMissing = missing; }
    bool PortMissing() const { return m_portMissing; }
    // Every transfer fails at the port (the adapter was pulled mid-session) until cleared.
    void SetPortFailed(bool failed) { m_portFailed = failed; }
    bool PortFailed() const { return m_portFailed; }
    void CorruptBlock(Block block);
    std::string Status();

    // Forced values, including ones the unit would never report, for the host's handling of them.
    void SetFrameCounters(uint16_t good, uint16_t bad);
    void SetUnitCounters(uint32_t shots, uint32_t energyJ);
    void ForceSelection(uint8_t program, uint16_t age, uint16_t build, uint16_t nox);
    void ForceCycleState(uint16_t state); // no end of its own: what ends a real state, or state 0
    void SetFactoryOption(int index, uint16_t value);
    void SetDoseUnit(uint16_t unit);
    // Extra generator error of the kV or mA chain on top of the nominal one: real = gain x nominal + offset.
    void SetGeneratorError(bool kv, double gain, double offset);
    std::vector<uint16_t> BlockWords(Block block, bool stored) const;

    // What the unit received over its link.
    const HistoryRing<CommandRecord>& CommandHistory() const { return m_commandHistory; }
    const HistoryRing<WriteRecord>& WriteHistory() const { return m_writeHistory; }
    const HistoryRing<RequestRecord>& RequestHistory() const { return m_requestHistory; }
    void ClearHistory();

    // Non-volatile memory: blocks, counters and user set points survive a restart. Loads the file when
    // it exists; a damaged block falls back to its defaults and raises the block's error.
    bool AttachStateFile(const std::string& path, std::string& error);

    // Direct views for tests and the status line.
    uint16_t StateWord();
    uint16_t ErrorCode() {
        Update();
        return m_error;
    }
    uint16_t CycleStateNow() {
        Update();
        return m_cycle;
    }
    ExposureValues Current() {
        Update();
        return m_current;
    }
    uint8_t Program() {
        Update();
        return m_program;
    }
    double MeterKv() const { return m_meterKv; }
    double MeterMa() const { return m_meterMa; }
    const std::array<uint8_t, kCalibrationBytes>& CalibrationTable() const { return m_cal; }
    std::array<uint8_t, kCalibrationBytes>& CalibrationTableForTest() { return m_cal; }
    bool Ready();

private:
    struct Profile {
        bool valid = false;
        bool exposes = false;
        bool compensated = false; // patient programs follow age and build
        ProgramClass cls{};
        uint16_t nox = 0; // 0/1 = the operator's choice (panoramic), 2 = always acquired
        bool noxFromOperator = false;
    };
    struct ShotRecord {
        uint16_t kv = 0, maTenths = 0, timeDelivered = 0, timeSet = 0;
        float dose = 0, dose1 = 0, dose2 = 0;
        uint16_t doseKind = 0;
    };

    void Update();
    void AdvanceTo(uint64_t nowMs);
    Profile ProfileFor(uint8_t program) const;
    void ApplyProgramDefaults();
    void PrepareShotRecord();
    uint16_t NoxWord() const;
    uint16_t WaitingSeconds() const;
    bool IsCycleBusy() const { return m_cycle == kCyclePreparing || m_cycle == kCycleEmitting; }

    int SelectProgram(uint8_t program);
    int StepValue(int which, bool up);
    void StoreUserDefaults();
    void Reset();
    void Acknowledge();
    void Restart();
    int BlocksRewritten(uint8_t mask);
    int BlocksReset(uint8_t mask);
    void ResetSetPoints();
    int WriteArea(uint16_t wordAddress, uint16_t count, const uint16_t* values);

    void StartEmission();
    void CompleteCycle(uint64_t deliveredMs);
    void AbortCycle(CycleState state);
    void RecordShot(const ExposureValues& values, uint64_t deliveredMs);

    bool BlockValid(Block block) const;
    void RaiseBlockErrors();
    void StoreBlock(Block block);
    void SetDefaultBlock(Block block);
    void SaveState();
    void LoadState(const std::string& text);
    uint8_t* BlockData(Block block);
    size_t BlockSize(Block block) const;

    void BuildImage(std::array<uint16_t, 164>& words, std::array<bool, 164>& mapped);
    int16_t CalWord(int reg) const;
    float CalFloat(const std::array<uint8_t, kCalibrationBytes>& table, int reg) const;
    int16_t Compensation(int row, int col) const;

    Clock& m_clock;
    uint64_t m_nowMs = 0;
    std::string m_version;
    int m_protocol = 2;
    bool m_imageLayout = true; // versions from 1.02 on report the TMJ image layout

    // Selection.
    uint8_t m_program = defaults::kStartProgram;
    uint16_t m_age = defaults::kStartAge;
    uint16_t m_build = defaults::kStartBuild;
    uint16_t m_nox = defaults::kStartNox;
    ExposureValues m_current{};
    std::map<uint8_t, ExposureValues> m_userDefaults;

    // Unit state.
    uint16_t m_error = 0;
    uint16_t m_conditions = 0;        // protocol 2 layout
    uint16_t m_conditionsV1Extra = 0; // raw protocol 1 bits without a protocol 2 place
    uint16_t m_access = 0;
    bool m_voice = true;
    uint16_t m_rotation = 1;
    bool m_panelActive = false;
    bool m_hostAnnounced = false;
    uint64_t m_laserOffMs = 0; // 0 = laser off
    uint64_t m_restartEndMs = 0;
    uint64_t m_cephSwitchEndMs = 0;
    uint64_t m_waitEndMs = 0;
    bool m_waitNoValue = false;
    bool m_failNextAcquisition = false;
    bool m_portMissing = false;
    bool m_portFailed = false;
    std::optional<uint16_t> m_forcedNox;

    // Exposure cycle.
    uint16_t m_cycle = kCycleIdle;
    uint64_t m_phaseEndMs = 0;
    uint64_t m_emissionStartMs = 0;
    bool m_switchHeld = false;
    bool m_releaseAtEnd = false;
    std::optional<uint64_t> m_releaseAtMs;
    ExposureValues m_cycleValues{};
    uint16_t m_acquisition = 0;

    // Results.
    ShotRecord m_shot;
    std::array<float, 4> m_measurement{}; // heating voltage, kV, mA, emission time
    double m_meterKv = 0, m_meterMa = 0;  // what an external meter read on the last exposure
    uint32_t m_shots = 0;
    uint32_t m_energyJ = 0;
    uint16_t m_framesGood = 0, m_framesBad = 0;
    uint16_t m_lastCommand = 0;

    // Stand calibration.
    bool m_standRunning = false;
    uint64_t m_standStartMs = 0;

    // Data blocks: live (what the registers show) and stored (non-volatile, last valid).
    std::array<uint8_t, kCalibrationBytes> m_cal{}, m_storedCal{};
    std::array<uint8_t, kFactoryBytes> m_factory{}, m_storedFactory{};
    std::array<uint8_t, kPreferenceBytes> m_prefs{}, m_storedPrefs{};
    std::array<uint8_t, 30> m_identification{};
    std::array<uint8_t, 40> m_unitText{}, m_hostText{};
    std::array<uint8_t, 4> m_displayCode{};

    // Generator error added by a scenario (gain, offset).
    double m_genKvGain = 1, m_genKvOffset = 0, m_genMaGain = 1, m_genMaOffset = 0;

    // Link fault injection: the untargeted fault, and the ones aimed at a kind of request.
    struct ArmedFault {
        LinkFault fault;
        uint32_t requests = 0;
        FaultTarget target;
    };
    LinkFault m_fault;
    uint32_t m_faultRequests = 0;
    std::vector<ArmedFault> m_targetedFaults;

    // History of the link.
    uint64_t m_startMs = 0;
    HistoryRing<CommandRecord> m_commandHistory{history::kCapacity};
    HistoryRing<WriteRecord> m_writeHistory{history::kCapacity};
    HistoryRing<RequestRecord> m_requestHistory{history::kCapacity};

    std::string m_statePath;
};

} // namespace emu
