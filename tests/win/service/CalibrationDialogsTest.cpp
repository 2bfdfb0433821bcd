// The three calibrations under Wine against the emulator's in-process bus: each run on its own UI
// thread, exposures made through the emulator's control line in real time (the dialogs' timers see
// every cycle), and checked from the unit's side: its stored table, its live table and the commands
// it received.
#include "tests/win/service/ServiceTestHarness.h"

#include "link/BlockUpdate.h"
#include "resources/CalibrationDialogIds.h"
#include "service/CalibrationMath.h"
#include "service/HeatingCalibration.h"
#include "service/KvMaCalibration.h"
#include "service/StandCalibration.h"

#include <cmath>

namespace {

namespace Cal = nxlang::Calibration;
constexpr uint16_t kCalibrationStored = 0x0181, kExitImage = 0x0107, kExitProgram = 0x7004;
constexpr uint16_t kCalibrationRegister = 0x7000 + 162 / 2;

// Coefficients the unit holds before a run, unlike the identity a step writes.
constexpr service::ChainCoefficients kKvBefore{1.02f, 0.5f, 0.99f, -0.25f};
constexpr service::ChainCoefficients kMaBefore{0.97f, 0.12f, 1.03f, 0.04f};

class Calibrations : public ServiceDialogs {
protected:
    void SetUp() override {
        ServiceDialogs::SetUp();
        Unit("panel on"); // the operator is at the panel: the unit exposes
    }
    // The run's dialog with this title, once it is shown.
    static HWND Shown(const DialogRun& run, const std::string& title) {
        HWND found = nullptr;
        WaitFor([&] {
            found = DialogOf(run.threadId());
            return found && WindowText(found) == title;
        });
        return found && WindowText(found) == title ? found : nullptr;
    }
    // One exposure at the unit's set point, the tube cooled beforehand; held to its end unless a hold
    // time is given.
    void Expose(const std::string& holdMs = "") {
        Unit("wait 0");
        Unit(holdMs.empty() ? "expose" : "expose " + holdMs);
    }
    void PlantCoefficients() {
        service::LinkSection section(*link);
        ASSERT_TRUE(section.Get());
        EXPECT_EQ(unitlink::UpdateBlock<unitlink::CalibrationTable>(*section.Get(), link->Lock(),
                                                                    [](unitlink::CalibrationTable& table) {
                                                                        service::SetTableCoefficients(table, true, kKvBefore);
                                                                        service::SetTableCoefficients(table, false, kMaBefore);
                                                                    }),
                  unitlink::BlockUpdateResult::Done);
        Unit("history clear");
    }
    // The unit's calibration table: stored (non-volatile) or live (what its registers show).
    std::vector<uint8_t> Table(bool stored) { return Bytes(Block(stored ? "stored" : "live", "cal")); }
    // The messages shown so far, kept across the checks that take them.
    std::vector<UINT> Seen() {
        const auto shown = TakeMessages();
        seen.insert(seen.end(), shown.begin(), shown.end());
        return seen;
    }
    std::vector<UINT> seen;
    static float FloatAt(const std::vector<uint8_t>& bytes, size_t offset) {
        float value;
        std::memcpy(&value, bytes.data() + offset, sizeof value);
        return value;
    }
    static int16_t WordAt(const std::vector<uint8_t>& bytes, size_t reg) {
        return static_cast<int16_t>(bytes[2 * reg] | bytes[2 * reg + 1] << 8);
    }
};

TEST_F(Calibrations, KvAndMaRunsStoreWhatTheResultsShow) {
    PlantCoefficients();
    struct ChainRun {
        bool kv;
        const char* name;
        const char* setPoints[2];
        const char* readings[2]; // the unit's own, at the identity
        const char* typed[2];    // the meter: the generator's real output
        const char* results[4];  // command gain, command offset, measure gain, measure offset
        size_t firstByte;        // the chain's measure gain; measure offset, command gain and offset follow
        uint16_t stepWords[2];
    };
    const ChainRun runs[] = {
        {true, "kv", {"65.0", "85.0"}, {"65.04", "84.82"}, {"64.25", "83,65"},
         {"1.000", "1.010", "0.980", "0.490"}, 14, {0x0504, 0x1504}},
        {false, "ma", {"4.0", "10.0"}, {"3.98", "10.10"}, {"4.01", "10.25"},
         {"1.000", "-0.079", "1.020", "-0.051"}, 30, {0x0604, 0x1604}},
    };
    for (const ChainRun& c : runs) {
        SCOPED_TRACE(c.name);
        const auto before = Table(true);
        const std::string title = platform::LoadText(c.kv ? Cal::KvTitle : Cal::MaTitle);
        DialogRun run([&] { return service::RunKvMaCalibration(nullptr, *context, c.kv); });
        HWND start = Shown(run, title);
        ASSERT_TRUE(start);
        EXPECT_TRUE(dialogOpen);
        Click(start, IDC_CAL_START);
        for (int step = 0; step < 2; ++step) {
            HWND dialog = Shown(run, title + platform::LoadText(step == 0 ? Cal::StepOne : Cal::StepTwo));
            ASSERT_TRUE(dialog) << "step " << step + 1;
            EXPECT_EQ(Field(dialog, IDC_CAL_SET_POINT), c.setPoints[step]);
            const auto live = Table(false);
            EXPECT_EQ(FloatAt(live, c.firstByte), 1.0f) << "the step measures at the identity";
            EXPECT_EQ(FloatAt(live, c.firstByte + 12), 0.0f);
            Expose();
            ASSERT_TRUE(WaitFor([&] { return Field(dialog, IDC_CAL_UNIT_READING) == c.readings[step]; }))
                << Field(dialog, IDC_CAL_UNIT_READING);
            Type(dialog, IDC_CAL_METER, c.typed[step]);
            if (step == 1)
                Screenshot(dialog, c.kv ? "calibration_kv_step2" : "calibration_ma_step2");
            Click(dialog, IDOK);
        }
        HWND results = Shown(run, title);
        ASSERT_TRUE(results);
        const int fields[] = {IDC_CAL_COMMAND_GAIN, IDC_CAL_COMMAND_OFFSET, IDC_CAL_MEASURE_GAIN, IDC_CAL_MEASURE_OFFSET};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Field(results, fields[i]), c.results[i]) << i;
        Screenshot(results, c.kv ? "calibration_kv_results" : "calibration_ma_results");
        Click(results, IDOK);
        ASSERT_TRUE(run.Ended());
        EXPECT_EQ(run.result(), IDOK);
        EXPECT_FALSE(dialogOpen);
        EXPECT_EQ(TakeMessages(), std::vector<UINT>{});

        // Stored as shown, the other chain and every other field as they were.
        auto expected = before;
        const size_t place[] = {c.firstByte + 8, c.firstByte + 12, c.firstByte, c.firstByte + 4};
        for (int i = 0; i < 4; ++i) {
            const float value = static_cast<float>(std::strtod(c.results[i], nullptr));
            std::memcpy(expected.data() + place[i], &value, sizeof value);
        }
        EXPECT_EQ(Table(true), expected);
        EXPECT_EQ(Commands(), (std::vector<uint16_t>{kCalibrationStored, c.stepWords[0], kCalibrationStored,
                                                     c.stepWords[1], kCalibrationStored, kExitImage, kExitProgram}));
        EXPECT_GE(refreshes.exchange(0), 3);
        Unit("history clear");
    }
}

TEST_F(Calibrations, RunsThatDoNotEndWithSaveGiveTheUnitItsCalibrationBack) {
    PlantCoefficients();
    const std::string title = platform::LoadText(Cal::KvTitle);
    const std::string stepOne = title + platform::LoadText(Cal::StepOne);
    struct Scene {
        const char* name;
        std::function<void(const DialogRun&)> play;
        std::vector<UINT> messages;
    };
    const Scene scenes[] = {
        {"cancelled at step 1", [&](const DialogRun& run) { Click(Shown(run, stepOne), IDCANCEL); }, {}},
        {"generator off its model",
         [&](const DialogRun& run) {
             Unit("generator kv 1.1 0");
             HWND step = Shown(run, stepOne);
             Expose();
             ASSERT_TRUE(WaitFor([&] { return !Field(step, IDC_CAL_UNIT_READING).empty(); }));
             Type(step, IDC_CAL_METER, "70.68"); // what the meter shows: far from 65 too
             Click(step, IDOK);
             Unit("generator none");
         },
         {Cal::UnitReadingOutOfTolerance, Cal::MeterReadingOutOfTolerance}},
        {"bad typing, an aborted exposure, then an absurd reading",
         [&](const DialogRun& run) {
             HWND step = Shown(run, stepOne);
             Click(step, IDOK); // nothing exposed yet
             Expose("2000");    // released during the emission
             ASSERT_TRUE(WaitFor([&] { return Seen().size() == 2; })) << "the stopped exposure is not measured";
             EXPECT_TRUE(Field(step, IDC_CAL_UNIT_READING).empty());
             Expose();
             ASSERT_TRUE(WaitFor([&] { return Field(step, IDC_CAL_UNIT_READING) == "65.04"; }));
             for (const char* typed : {"", "-64.25"}) {
                 Type(step, IDC_CAL_METER, typed);
                 Click(step, IDOK);
                 EXPECT_TRUE(::IsWindowVisible(step)) << typed;
             }
             Type(step, IDC_CAL_METER, "650");
             Click(step, IDOK);
         },
         {Cal::ExposureIncomplete, Cal::ExposureIncomplete, Cal::NotANumber, Cal::NotANumber,
          Cal::MeterReadingOutOfTolerance}},
        {"the unit drops as step 2 opens",
         [&](const DialogRun& run) {
             HWND step = Shown(run, stepOne);
             Expose();
             ASSERT_TRUE(WaitFor([&] { return Field(step, IDC_CAL_UNIT_READING) == "65.04"; }));
             Type(step, IDC_CAL_METER, "64.25");
             Unit("fault noanswer 2 on address " + std::to_string(kCalibrationRegister));
             Click(step, IDOK);
         },
         {Cal::TableNotRead}},
    };
    for (const Scene& scene : scenes) {
        SCOPED_TRACE(scene.name);
        const auto stored = Table(true);
        const auto live = Table(false);
        {
            DialogRun run([&] { return service::RunKvMaCalibration(nullptr, *context, true); });
            Click(Shown(run, title), IDC_CAL_START);
            scene.play(run);
            ASSERT_TRUE(run.Ended());
            EXPECT_EQ(run.result(), IDCANCEL);
        }
        EXPECT_EQ(Table(true), stored);
        EXPECT_EQ(Table(false), live);
        EXPECT_EQ(Seen(), scene.messages);
        seen.clear();
        const auto commands = Commands();
        ASSERT_GE(commands.size(), 3u);
        EXPECT_EQ(std::vector<uint16_t>(commands.end() - 3, commands.end()),
                  (std::vector<uint16_t>{kCalibrationStored, kExitImage, kExitProgram}))
            << "the earlier coefficients stored, then the calibration mode left";
        EXPECT_FALSE(dialogOpen);
        Unit("fault none");
        Unit("history clear");
    }
}

TEST_F(Calibrations, HeatingFollowsElevenExposuresAndSaveOnlyAsksTheUnitToStore) {
    DialogRun run([&] { return service::RunHeatingCalibration(nullptr, *context); });
    HWND dialog = Shown(run, platform::LoadText(Cal::HeatingTitle));
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialogOpen);
    HWND list = ::GetDlgItem(dialog, IDC_HEAT_LIST);
    HWND bar = ::GetDlgItem(dialog, IDC_HEAT_PROGRESS);
    auto cell = [list](int row, int column) { return CellTextOf(list, row, column); };
    auto position = [bar] { return static_cast<int>(::SendMessageA(bar, PBM_GETPOS, 0, 0)); };
    ASSERT_EQ(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 11);
    // The unit's factory values: -6 x (kV - 75) + 12.
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(cell(i, 0), platform::LoadText(Cal::RowPending));
        EXPECT_EQ(cell(i, 1), std::to_string(60 + 3 * i));
        EXPECT_EQ(cell(i, 2), std::to_string(-6 * (60 + 3 * i - 75) + 12));
    }
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0704});

    for (int i = 0; i < 11; ++i) {
        Expose();
        ASSERT_TRUE(WaitFor([&] { return cell(i, 0) == platform::LoadText(Cal::RowDone); })) << "row " << i;
        EXPECT_EQ(position(), i + 1);
        if (i == 5)
            Screenshot(dialog, "calibration_heating");
    }
    // What the unit found, worked out from its generator at the table's kV command coefficients.
    const auto live = Table(false);
    const double commandGain = FloatAt(live, 22), commandOffset = FloatAt(live, 26);
    for (int i = 0; i < 11; ++i) {
        const double real = 0.97 * ((60 + 3 * i) * commandGain + commandOffset) + 1.2;
        const long value = std::lround(-6.0 * (real - 75.0) + 12.0);
        EXPECT_EQ(WordAt(live, 23 + i), value) << i;
        EXPECT_EQ(cell(i, 2), std::to_string(value)) << i;
    }
    const auto beforeSave = live;
    Click(dialog, IDOK);
    ASSERT_TRUE(run.Ended());
    EXPECT_EQ(run.result(), IDOK);
    EXPECT_FALSE(dialogOpen);
    EXPECT_EQ(Table(true), beforeSave) << "the unit stored its own values, nothing written over them";
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(Commands(), (std::vector<uint16_t>{0x0704, kCalibrationStored, kExitImage, kExitProgram}));
    EXPECT_EQ(FileBytes().size(), 182u);
}

TEST_F(Calibrations, HeatingLeavesTheModeWhateverClosesIt) {
    struct Close {
        const char* name;
        UINT message;
        WPARAM wParam;
    };
    for (const Close& close : {Close{"cancel", WM_COMMAND, IDCANCEL}, Close{"window closed", WM_CLOSE, 0}}) {
        SCOPED_TRACE(close.name);
        DialogRun run([&] { return service::RunHeatingCalibration(nullptr, *context); });
        HWND dialog = Shown(run, platform::LoadText(Cal::HeatingTitle));
        ASSERT_TRUE(dialog);
        // A set-point index beyond the eleven rows marks and shows nothing.
        Unit("selection raw 183 1 1 1");
        std::this_thread::sleep_for(1200ms);
        EXPECT_EQ(::SendMessageA(::GetDlgItem(dialog, IDC_HEAT_PROGRESS), PBM_GETPOS, 0, 0), 0);
        ::PostMessageA(dialog, close.message, close.wParam, 0);
        ASSERT_TRUE(run.Ended());
        EXPECT_EQ(Commands(), (std::vector<uint16_t>{0x0704, kExitImage, kExitProgram}));
        Unit("history clear");
    }
}

TEST_F(Calibrations, StandShowsTheUnitLiveAndStoresTheOffsets) {
    DialogRun run([&] { return service::RunStandCalibration(nullptr, *context); });
    HWND dialog = Shown(run, platform::LoadText(nxlang::Stand::Title));
    ASSERT_TRUE(dialog);
    EXPECT_EQ(Field(dialog, IDC_STAND_TRAVEL), "1523");
    EXPECT_EQ(Field(dialog, IDC_STAND_HYSTERESIS), "12");
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_STAND_CEPH_OFFSET)));
    Type(dialog, IDC_STAND_OFF_CENTRE, "-12");
    Type(dialog, IDC_STAND_CEPH_OFFSET, "250");
    Click(dialog, IDC_STAND_CALIBRATE);
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0083});
    // The unit measures the travel first, then the hysteresis; the typed offsets stay.
    ASSERT_TRUE(WaitFor([&] {
        const std::string travel = Field(dialog, IDC_STAND_TRAVEL);
        return travel != "0" && travel != "1523";
    }));
    Screenshot(dialog, "calibration_stand");
    ASSERT_TRUE(WaitFor([&] {
        return Field(dialog, IDC_STAND_TRAVEL) == "1523" && Field(dialog, IDC_STAND_HYSTERESIS) == "12";
    }));
    EXPECT_EQ(Field(dialog, IDC_STAND_OFF_CENTRE), "-12");
    EXPECT_EQ(Field(dialog, IDC_STAND_CEPH_OFFSET), "250");
    Click(dialog, IDC_STAND_SAVE);
    ASSERT_TRUE(run.Ended());
    EXPECT_EQ(run.result(), 0);
    const auto stored = Table(true);
    EXPECT_EQ(static_cast<uint16_t>(WordAt(stored, 2)), 0xFFF4);
    EXPECT_EQ(WordAt(stored, 34), 250);
    EXPECT_EQ(Commands(), (std::vector<uint16_t>{0x0083, kCalibrationStored, kExitImage, kExitProgram}));
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{});
    EXPECT_EQ(FileBytes().size(), 182u);
}

TEST_F(Calibrations, StandOnAProtocol1UnitKeepsTheCephalometricOffsetAndReportsARefusedStore) {
    StartUnit("1.02");
    Unit("panel on");
    const auto before = Table(true);
    DialogRun run([&] { return service::RunStandCalibration(nullptr, *context); });
    HWND dialog = Shown(run, platform::LoadText(nxlang::Stand::Title));
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_STAND_CEPH_OFFSET)));
    Type(dialog, IDC_STAND_OFF_CENTRE, "12 mm");
    Click(dialog, IDC_STAND_SAVE);
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{Cal::StandValueInvalid});
    EXPECT_TRUE(Writes().empty()) << "a typing slip never reaches the unit";
    Type(dialog, IDC_STAND_OFF_CENTRE, "-12");
    Unit("fault exception 4 1 on command " + std::to_string(kCalibrationStored));
    Click(dialog, IDC_STAND_SAVE);
    ASSERT_TRUE(run.Ended());
    EXPECT_EQ(run.result(), 0);
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::Message::SaveFailed});
    EXPECT_EQ(FileBytes().size(), 182u) << "the snapshot is still taken";
    const auto live = Table(false);
    EXPECT_EQ(static_cast<uint16_t>(WordAt(live, 2)), 0xFFF4);
    EXPECT_EQ(WordAt(live, 34), WordAt(before, 34));
    const auto commands = Commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(std::vector<uint16_t>(commands.end() - 2, commands.end()),
              (std::vector<uint16_t>{kExitImage, kExitProgram}));
}

} // namespace
