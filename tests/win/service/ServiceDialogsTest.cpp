// The service dialogs under Wine: each runs modally on its own UI thread against the emulator's
// in-process bus, is driven by control id from the test thread, and is checked through what the unit
// stored and received (the emulator's blocks and history) and the messages it showed.
#include "tests/win/service/ServiceTestHarness.h"
#include "resources/ServiceDialogIds.h"
#include "service/CommunicationDialog.h"
#include "service/FabricationDialog.h"
#include "service/PreferenceDialog.h"
#include "service/SaveRestoreDialog.h"

namespace {

constexpr uint16_t kFactoryRegister = 0x7000 + 130 / 2;
constexpr uint16_t kCalibrationRegister = 0x7000 + 162 / 2;
constexpr uint16_t kPreferencesRegister = 0x7000 + 242 / 2;

std::string Address(uint16_t reg) { return " on address " + std::to_string(reg); }

// Two clicks on a cell (the first selects the row, the second edits), then the text typed; returns the
// edit, or null when none appeared.
HWND StartCellEdit(HWND list, int row, int column, const char* text) {
    RECT rect{LVIR_BOUNDS, 0, 0, 0};
    ::SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
    int x = rect.left + 20;
    for (int c = 0; c < column; ++c)
        x += static_cast<int>(::SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
    const LPARAM at = MAKELPARAM(x, (rect.top + rect.bottom) / 2);
    HWND edit = nullptr;
    for (int click = 0; click < 2 && !edit; ++click) {
        ::SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageA(list, WM_LBUTTONUP, 0, at);
        edit = ::FindWindowExA(list, nullptr, "Edit", nullptr);
    }
    if (edit)
        ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    return edit;
}

// A cell edit ended by Enter or Escape; the dialog asks the edit which keys it wants before its own
// default and cancel buttons.
bool EditCell(HWND list, int row, int column, const char* text, WPARAM endKey) {
    HWND edit = StartCellEdit(list, row, column, text);
    if (!edit || !(::SendMessageA(edit, WM_GETDLGCODE, endKey, 0) & DLGC_WANTALLKEYS))
        return false;
    ::SendMessageA(edit, WM_CHAR, endKey, 0);
    return WaitFor([&] { return !::IsWindow(edit); });
}

// Save writes the identification and the three stored blocks; a read that fails, or a block the unit
// refused, leaves the earlier file as it was.
TEST_F(ServiceDialogs, SaveWritesTheSnapshotAndAFailedReadKeepsTheEarlierFile) {
    std::vector<uint8_t> file;
    for (const std::string& unit : {std::string("fault none"), "fault exception 4 2" + Address(kCalibrationRegister),
                                    std::string("corrupt prefs")}) {
        SCOPED_TRACE(unit);
        Unit(unit);
        auto run = Open<CSrDialog>();
        if (file.empty())
            Screenshot(run->wnd(), "save_restore");
        run->Press(IDC_SR_SAVE);
        ASSERT_TRUE(run->Ended());
        EXPECT_FALSE(dialogOpen);
        if (!file.empty()) {
            EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::Message::SaveFailed});
            EXPECT_EQ(FileBytes(), file);
            Unit("fault none");
            continue;
        }
        EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::Message::SettingsSaved});
        file = FileBytes();
        ASSERT_EQ(file.size(), 182u);
        std::vector<uint8_t> expected(file.begin(), file.begin() + 30); // the identification as read
        for (const char* block : {"factory", "cal", "prefs"}) {
            const auto bytes = Bytes(Stored(block));
            expected.insert(expected.end(), bytes.begin(), bytes.end());
        }
        EXPECT_EQ(file, expected);
        EXPECT_EQ(std::string(file.begin(), file.begin() + 8), "LUMEN 70");
    }
}

// Restore writes the three blocks in order then one command; a missing, short or untaken file says so.
TEST_F(ServiceDialogs, RestoreWritesTheThreeBlocksOrSaysWhyNot) {
    const struct {
        size_t fileBytes; // 0: no file
        const char* unit;
        UINT message;
        std::vector<uint16_t> writes, commands;
    } rows[] = {{182, "port ok", nxlang::SaveRestore::Restored,
                 {kFactoryRegister, kCalibrationRegister, kPreferencesRegister}, {0x0081}},
                {0, "port ok", nxlang::SaveRestore::NothingToRestore, {}, {}},
                {181, "port ok", nxlang::SaveRestore::RestoreFileDamaged, {}, {}},
                {182, "port fail", nxlang::SaveRestore::RestoreFailed, {}, {}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fileBytes);
        ::DeleteFileA(restorePath.c_str());
        std::string content(row.fileBytes, '\0');
        for (size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<char>(i * 7 + 1);
        if (row.fileBytes)
            std::ofstream(restorePath, std::ios::binary) << content;
        Unit(row.unit);
        Unit("history clear");
        auto run = Open<CSrDialog>();
        run->Press(IDC_SR_RESTORE);
        ASSERT_TRUE(run->Ended());
        Unit("port ok");
        EXPECT_EQ(TakeMessages(), std::vector<UINT>{row.message});
        std::vector<uint16_t> written;
        for (const auto& w : Writes())
            written.push_back(w.address);
        EXPECT_EQ(written, row.writes);
        EXPECT_EQ(Commands(), row.commands);
    }
    EXPECT_EQ(refreshes, 1);
}

TEST_F(ServiceDialogs, CommunicationAndGeneralShowTheUnitsFiguresAndWriteNothing) {
    registry.SetText(support::RegistryRoot::CurrentUser, "Software\\HALVEX\\PANO", "COM", "2");
    registry.SetNumber(support::RegistryRoot::CurrentUser, "Software\\HALVEX\\PANO\\LUMEN70", "Baudrate",
                       38400);
    Unit("frames 989 10");
    Unit("counters 12345 1999");
    auto run = Open<CNewCommunicationDialog>();
    Screenshot(run->wnd(), "communication");
    EXPECT_EQ(run->Selected(IDC_COM_PORTS), "COM2");
    EXPECT_EQ(run->Selected(IDC_COM_BAUDS), "38400 Bauds");
    EXPECT_FALSE(::IsWindowEnabled(run->item(IDC_COM_PORTS)));
    // The counters' own read is the 990th good frame.
    EXPECT_EQ(run->text(IDC_COM_TOTAL), "1000");
    EXPECT_EQ(run->text(IDC_COM_BAD), "10");
    EXPECT_EQ(run->text(IDC_COM_RATE), "1.0 %");
    run->Press(IDOK);
    ASSERT_TRUE(run->Ended());
    auto general = Open<CGeneralDialog>();
    Screenshot(general->wnd(), "general");
    EXPECT_EQ(general->text(IDC_GEN_SHOTS), "12345");
    EXPECT_EQ(general->text(IDC_GEN_ENERGY), "1");
    general->Press(IDOK);
    ASSERT_TRUE(general->Ended());
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(Commands().empty());
}

TEST_F(ServiceDialogs, FabricationSavesTheSerialAndOptionsThenRefreshesTheFile) {
    auto run = Open<CFabricationDialog>();
    Screenshot(run->wnd(), "fabrication");
    EXPECT_EQ(run->text(IDC_FAB_SERIAL), "L70-00417");
    Type(run->wnd(), IDC_FAB_SERIAL, "ABCDEFGHIJKL");
    const std::pair<int, int> choices[] = {
        {IDC_FAB_VOLTAGE, 1}, {IDC_FAB_PANORAMIC, 2}, {IDC_FAB_FREQUENCY, 1}, {IDC_FAB_TUBE, 2}, {IDC_FAB_CEPHALOMETRIC, -1}};
    const uint16_t cephBefore = Stored("factory").at(8);
    for (auto [id, index] : choices)
        ::SendMessageA(run->item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    run->Press(IDC_FAB_SAVE);
    ASSERT_TRUE(run->Ended());
    EXPECT_TRUE(TakeMessages().empty());
    const auto stored = Stored("factory");
    ASSERT_EQ(stored.size(), 16u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Bytes(stored).data())), "ABCDEFGHI");
    // Voltage, frequency, panoramic, cephalometric (an empty list keeps the unit's value), tube.
    EXPECT_EQ(std::vector<uint16_t>(stored.begin() + 5, stored.begin() + 10),
              (std::vector<uint16_t>{1, 1, 2, cephBefore, 2}));
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0281});
    const auto file = FileBytes();
    ASSERT_EQ(file.size(), 182u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[30])), "ABCDEFGHI");
}

// A block is written back only from a read that succeeded: the message, nothing written, the dialog
// still open for another try; the reset commands act at once and Cancel does not undo them.
TEST_F(ServiceDialogs, AFailedReadIsNeverWrittenBackAndResetsStandAfterCancel) {
    Unit("option 2 3");
    auto fabrication = Open<CFabricationDialog>();
    Unit("history clear");
    Unit("fault exception 4 1" + Address(kFactoryRegister));
    fabrication->Press(IDC_FAB_SAVE);
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::SaveRestore::UnitNotRead});
    EXPECT_TRUE(Writes().empty() && Commands().empty());
    ASSERT_TRUE(fabrication->Open());
    fabrication->Press(IDC_FAB_DEFAULT);
    EXPECT_EQ(fabrication->Selected(IDC_FAB_PANORAMIC), platform::LoadText(nxlang::Manufacturing::PanoramicTmj))
        << "the unit's default block, read back";
    fabrication->Press(IDCANCEL);
    ASSERT_TRUE(fabrication->Ended());
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0282}) << "the reset is not undone";
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(FileBytes().empty()) << "Cancel does not rewrite the restore file";

    Unit("fault exception 4 1" + Address(kPreferencesRegister));
    auto run = Open<CPreferenceDialog>();
    EXPECT_EQ(CellTextOf(run->item(IDC_PREF_TABLE), 0, 1), "0") << "a failed read shows zeros";
    Unit("history clear");
    run->Press(IDC_PREF_SAVE);
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::SaveRestore::UnitNotRead});
    EXPECT_TRUE(Writes().empty() && Commands().empty());
    ASSERT_TRUE(run->Open());
    run->Press(IDC_PREF_RESET_SETPOINTS);
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0382});
    EXPECT_NE(CellTextOf(run->item(IDC_PREF_TABLE), 1, 1), "0") << "the values read back";
    answer = IDNO;
    run->Press(IDC_PREF_RESET_USER);
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::Message::ConfirmReset});
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0382});
    run->Press(IDCANCEL);
    ASSERT_TRUE(run->Ended());
}

TEST_F(ServiceDialogs, PreferencesCellEditsAreSavedThenTheUnitIsToldAndReadAgain) {
    auto run = Open<CPreferenceDialog>();
    HWND list = run->item(IDC_PREF_TABLE);
    EXPECT_TRUE(::IsWindowEnabled(run->item(IDC_PREF_DOSE)));
    const auto before = Stored("prefs");
    ASSERT_TRUE(EditCell(list, 0, 1, "-5", VK_RETURN));
    // Escape leaves the cell; a negative number in an unsigned row is refused with a message.
    ASSERT_TRUE(EditCell(list, 1, 2, "77", VK_ESCAPE));
    EXPECT_EQ(CellTextOf(list, 1, 2), std::to_string(before.at(5)));
    ASSERT_TRUE(EditCell(list, 1, 1, "-5", VK_RETURN));
    std::vector<UINT> refusal;
    ASSERT_TRUE(WaitFor([&] { return !(refusal = TakeMessages()).empty(); }));
    EXPECT_EQ(refusal, std::vector<UINT>{nxlang::SaveRestore::InvalidCell});
    EXPECT_EQ(CellTextOf(list, 1, 1), std::to_string(before.at(3)));
    Screenshot(run->wnd(), "preferences");
    ::SendMessageA(run->item(IDC_PREF_REST), CB_SETCURSEL, 2, 0);
    Unit("history clear");
    run->Press(IDC_PREF_SAVE);
    ASSERT_TRUE(run->Ended());
    auto expected = before;
    expected[0] = 2;
    expected[2] = 0xFFFB;
    EXPECT_EQ(Stored("prefs"), expected);
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0481});
    std::vector<emu::RequestRecord> requests;
    ASSERT_TRUE(emu::history::ParseRequests(Unit("history requests"), requests));
    size_t preferenceReads = 0;
    for (const auto& r : requests)
        preferenceReads += r.function == 3 && r.address == kPreferencesRegister;
    EXPECT_GE(preferenceReads, 2u) << "re-read after the command, then the restore snapshot";
    EXPECT_EQ(FileBytes().size(), 182u);
}

// A protocol 1 unit has no dose unit choice; a dialog closed while a cell is edited takes the edit
// with it and writes nothing.
TEST_F(ServiceDialogs, PreferencesOfAProtocolOneUnitClosedWhileACellIsEditedWriteNothing) {
    StartUnit("1.02");
    auto run = Open<CPreferenceDialog>();
    EXPECT_FALSE(::IsWindowEnabled(run->item(IDC_PREF_DOSE)));
    EXPECT_FALSE(::IsWindowEnabled(run->item(IDC_PREF_DOSE_LABEL)));
    EXPECT_TRUE(::IsWindowEnabled(run->item(IDC_PREF_REST)));
    HWND edit = StartCellEdit(run->item(IDC_PREF_TABLE), 2, 1, "7");
    ASSERT_TRUE(edit);
    Unit("history clear");
    run->Press(IDCANCEL);
    ASSERT_TRUE(run->Ended());
    EXPECT_FALSE(::IsWindow(edit));
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(Commands().empty());
}

// Every value of the system's serial-port map counts, whatever its name: drivers name them freely.
TEST(SerialPorts, EveryValueOfTheSystemMap) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Hardware\\DeviceMap\\SerialComm", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::pair<const char*, const char*> values[] = {{"\\Device\\VSerial7", "COM7"}, {"USBSER000", "COM12"}};
    for (auto [name, port] : values)
        ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                         static_cast<DWORD>(std::strlen(port) + 1));
    const auto ports = service::RegistrySerialPorts();
    for (auto [name, port] : values) {
        EXPECT_NE(std::find(ports.begin(), ports.end(), port), ports.end()) << port;
        ::RegDeleteValueA(key, name);
    }
    ::RegCloseKey(key);
}

} // namespace
