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

TEST_F(ServiceDialogs, SaveWritesTheSnapshotAndAFailedReadKeepsTheEarlierFile) {
    auto run = Open<CSrDialog>();
    Screenshot(run->wnd(), "save_restore");
    EXPECT_EQ(run->text(IDC_SR_SAVE), platform::LoadText(nxlang::Common::Save));
    run->Press(IDC_SR_SAVE);
    ASSERT_TRUE(run->Ended());
    EXPECT_EQ(run->result(), 0);
    EXPECT_FALSE(dialogOpen);
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::Message::SettingsSaved});
    const auto file = FileBytes();
    ASSERT_EQ(file.size(), 182u);
    std::vector<uint8_t> expected(file.begin(), file.begin() + 30); // the identification as read
    for (const char* block : {"factory", "cal", "prefs"}) {
        const auto bytes = Bytes(Stored(block));
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(file, expected);
    EXPECT_EQ(std::string(file.begin() + 30, file.begin() + 39), "L70-00417");
    EXPECT_EQ(std::string(file.begin(), file.begin() + 8), "LUMEN 70");

    // The unit drops during the next save: the read-failure message, the file stays as it was.
    Unit("fault exception 4 2 on address " + std::to_string(kCalibrationRegister));
    auto again = Open<CSrDialog>();
    again->Press(IDC_SR_SAVE);
    ASSERT_TRUE(again->Ended());
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::Message::SaveFailed});
    EXPECT_EQ(FileBytes(), file);

    // A unit that refused a block keeps it in its registers: the good copy is not replaced.
    Unit("fault none");
    Unit("corrupt prefs");
    auto refused = Open<CSrDialog>();
    refused->Press(IDC_SR_SAVE);
    ASSERT_TRUE(refused->Ended());
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::Message::SaveFailed});
    EXPECT_EQ(FileBytes(), file);
}

TEST_F(ServiceDialogs, RestoreWritesTheThreeBlocksInOrderThenOneCommand) {
    std::vector<uint8_t> planted(182);
    for (size_t i = 0; i < planted.size(); ++i)
        planted[i] = static_cast<uint8_t>(i * 7 + 1);
    const std::string serial = "L70-09999";
    std::copy(serial.begin(), serial.end(), planted.begin() + 30);
    planted[39] = 0;
    std::ofstream(restorePath, std::ios::binary).write(reinterpret_cast<const char*>(planted.data()), 182);
    auto run = Open<CSrDialog>();
    run->Press(IDC_SR_RESTORE);
    ASSERT_TRUE(run->Ended());
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::SaveRestore::Restored});
    const auto writes = Writes();
    ASSERT_EQ(writes.size(), 3u);
    const struct {
        uint16_t address;
        size_t offset, words;
    } blocks[] = {
        {kFactoryRegister, 30, 16}, {kCalibrationRegister, 62, 40}, {kPreferencesRegister, 142, 20}};
    for (size_t b = 0; b < 3; ++b) {
        EXPECT_EQ(writes[b].address, blocks[b].address);
        EXPECT_EQ(Bytes(writes[b].words),
                  std::vector<uint8_t>(planted.begin() + blocks[b].offset,
                                       planted.begin() + blocks[b].offset + 2 * blocks[b].words));
    }
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0081});
    EXPECT_EQ(refreshes, 1);
}

TEST_F(ServiceDialogs, RestoreOfAMissingShortOrUnwritableFileSaysSo) {
    struct Row {
        size_t fileBytes; // 0: no file
        const char* unit;
        UINT message;
        size_t writes;
    };
    const Row rows[] = {{0, "fault none", nxlang::SaveRestore::NothingToRestore, 0},
                        {181, "fault none", nxlang::SaveRestore::RestoreFileDamaged, 0},
                        {182, "port fail", nxlang::SaveRestore::RestoreFailed, 0}};
    for (const Row& row : rows) {
        ::DeleteFileA(restorePath.c_str());
        if (row.fileBytes)
            std::ofstream(restorePath, std::ios::binary) << std::string(row.fileBytes, '\x11');
        Unit(row.unit);
        Unit("history clear");
        auto run = Open<CSrDialog>();
        run->Press(IDC_SR_RESTORE);
        ASSERT_TRUE(run->Ended());
        Unit("port ok");
        EXPECT_EQ(TakeMessages(), std::vector<UINT>{row.message}) << row.fileBytes;
        EXPECT_EQ(Writes().size(), row.writes) << row.fileBytes;
        EXPECT_TRUE(Commands().empty()) << row.fileBytes;
    }
}

TEST_F(ServiceDialogs, CommunicationShowsPortBaudAndFrameCounts) {
    registry.SetText(support::RegistryRoot::CurrentUser, "Software\\HALVEX\\PANO", "COM", "2");
    registry.SetNumber(support::RegistryRoot::CurrentUser, "Software\\HALVEX\\PANO\\LUMEN70", "Baudrate",
                       38400);
    Unit("frames 989 10");
    auto run = Open<CNewCommunicationDialog>();
    Screenshot(run->wnd(), "communication");
    EXPECT_EQ(WindowText(run->wnd()), platform::LoadText(nxlang::Communication::Title));
    EXPECT_EQ(run->Selected(IDC_COM_PORTS), "COM2");
    EXPECT_EQ(run->Selected(IDC_COM_BAUDS), "38400 Bauds");
    EXPECT_EQ(::SendMessageA(run->item(IDC_COM_BAUDS), CB_GETCOUNT, 0, 0), 4);
    EXPECT_FALSE(::IsWindowEnabled(run->item(IDC_COM_PORTS)));
    EXPECT_FALSE(::IsWindowEnabled(run->item(IDC_COM_BAUDS)));
    // The counters' own read is the 990th good frame.
    EXPECT_EQ(run->text(IDC_COM_TOTAL), "1000");
    EXPECT_EQ(run->text(IDC_COM_BAD), "10");
    EXPECT_EQ(run->text(IDC_COM_RATE), "1.0 %");
    EXPECT_TRUE(::GetWindowLongA(run->item(IDC_COM_RATE), GWL_STYLE) & ES_READONLY);
    run->Press(IDOK);
    ASSERT_TRUE(run->Ended());
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(Commands().empty());
}

TEST_F(ServiceDialogs, FabricationSavesTheSerialAndOptionsThenRefreshesTheFile) {
    auto run = Open<CFabricationDialog>();
    Screenshot(run->wnd(), "fabrication");
    EXPECT_EQ(run->text(IDC_FAB_SERIAL), "L70-00417");
    ::SendMessageA(run->item(IDC_FAB_SERIAL), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("ABCDEFGHIJKL"));
    const std::pair<int, int> choices[] = {{IDC_FAB_VOLTAGE, 1},
                                           {IDC_FAB_PANORAMIC, 2},
                                           {IDC_FAB_FREQUENCY, 1},
                                           {IDC_FAB_TUBE, 2},
                                           {IDC_FAB_CEPHALOMETRIC, -1}};
    const uint16_t cephBefore = Stored("factory").at(8);
    for (auto [id, index] : choices)
        ::SendMessageA(run->item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    run->Press(IDC_FAB_SAVE);
    ASSERT_TRUE(run->Ended());
    EXPECT_TRUE(TakeMessages().empty());
    const auto stored = Stored("factory");
    ASSERT_EQ(stored.size(), 16u);
    const auto bytes = Bytes(stored);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "ABCDEFGHI");
    EXPECT_EQ(stored[5], 1); // voltage, byte 10
    EXPECT_EQ(stored[6], 1); // frequency, byte 12
    EXPECT_EQ(stored[7], 2); // panoramic, byte 14
    EXPECT_EQ(stored[8], cephBefore) << "an empty list keeps the unit's value";
    EXPECT_EQ(stored[9], 2); // tube, byte 18
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0281});
    const auto file = FileBytes();
    ASSERT_EQ(file.size(), 182u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[30])), "ABCDEFGHI");
}

TEST_F(ServiceDialogs, FabricationWritesNothingAfterAFailedReadAndDefaultThenCancelKeepsTheReset) {
    Unit("option 2 3");
    auto run = Open<CFabricationDialog>();
    EXPECT_EQ(run->Selected(IDC_FAB_PANORAMIC), platform::LoadText(nxlang::Manufacturing::PanoramicFull));
    Unit("history clear");
    Unit("fault exception 4 1 on address " + std::to_string(kFactoryRegister));
    run->Press(IDC_FAB_SAVE);
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::SaveRestore::UnitNotRead});
    EXPECT_TRUE(Writes().empty()) << "no block from a failed read";
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(run->Open()) << "the technician may try again";

    run->Press(IDC_FAB_DEFAULT);
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0282});
    EXPECT_EQ(run->Selected(IDC_FAB_PANORAMIC), platform::LoadText(nxlang::Manufacturing::PanoramicTmj))
        << "the unit's default block, read back";
    run->Press(IDCANCEL);
    ASSERT_TRUE(run->Ended());
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0282}) << "the reset is not undone";
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(FileBytes().empty()) << "Cancel does not rewrite the restore file";
}

TEST_F(ServiceDialogs, GeneralShowsTheCounters) {
    Unit("counters 12345 1999");
    auto run = Open<CGeneralDialog>();
    Screenshot(run->wnd(), "general");
    EXPECT_EQ(run->text(IDC_GEN_SHOTS), "12345");
    EXPECT_EQ(run->text(IDC_GEN_ENERGY), "1");
    EXPECT_FALSE(run->text(IDC_GEN_LOAD).empty());
    run->Press(IDOK);
    ASSERT_TRUE(run->Ended());
}

// The cell's text as the list shows it.
std::string CellText(HWND list, int row, int column) {
    char text[64] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

// Two clicks on a cell (the first selects the row, the second edits), then the text typed and
// Enter or Escape; returns false when no edit appeared or it did not go away.
bool EditCell(HWND list, int row, int column, const char* text, WPARAM endKey) {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    ::SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
    int x = rect.left;
    for (int c = 0; c < column; ++c)
        x += static_cast<int>(::SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
    x += 20;
    const LPARAM at = MAKELPARAM(x, (rect.top + rect.bottom) / 2);
    HWND edit = nullptr;
    for (int click = 0; click < 2 && !edit; ++click) {
        ::SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageA(list, WM_LBUTTONUP, 0, at);
        edit = ::FindWindowExA(list, nullptr, "Edit", nullptr);
    }
    if (!edit)
        return false;
    ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    // The dialog asks the edit which keys it wants before its own default and cancel buttons.
    if (!(::SendMessageA(edit, WM_GETDLGCODE, endKey, 0) & DLGC_WANTALLKEYS))
        return false;
    ::SendMessageA(edit, WM_CHAR, endKey, 0);
    return WaitFor([&] { return !::IsWindow(edit); });
}

TEST_F(ServiceDialogs, PreferencesCellEditsAreSavedThenTheUnitIsToldAndReadAgain) {
    auto run = Open<CPreferenceDialog>();
    HWND list = run->item(IDC_PREF_TABLE);
    EXPECT_TRUE(::IsWindowEnabled(run->item(IDC_PREF_DOSE)));
    const auto before = Stored("prefs");
    EXPECT_EQ(CellText(list, 0, 1), std::to_string(static_cast<int16_t>(before.at(2))));
    ASSERT_TRUE(EditCell(list, 0, 1, "-5", VK_RETURN));
    EXPECT_EQ(CellText(list, 0, 1), "-5");
    // Escape leaves the cell; a text that is no number is refused with a message.
    ASSERT_TRUE(EditCell(list, 1, 2, "77", VK_ESCAPE));
    EXPECT_EQ(CellText(list, 1, 2), std::to_string(before.at(5)));
    ASSERT_TRUE(EditCell(list, 1, 1, "-5", VK_RETURN));
    std::vector<UINT> refusal;
    ASSERT_TRUE(WaitFor([&] { return !(refusal = TakeMessages()).empty(); }))
        << "negative in an unsigned row";
    EXPECT_EQ(refusal, std::vector<UINT>{nxlang::SaveRestore::InvalidCell});
    EXPECT_EQ(CellText(list, 1, 1), std::to_string(before.at(3)));
    EXPECT_EQ(CellText(list, 0, 0), platform::LoadText(nxlang::Preferences::AdultOffsetRow))
        << "column 0 keeps its row text";
    Screenshot(run->wnd(), "preferences");
    ::SendMessageA(run->item(IDC_PREF_REST), CB_SETCURSEL, 2, 0);
    Unit("history clear");
    run->Press(IDC_PREF_SAVE);
    ASSERT_TRUE(run->Ended());
    const auto after = Stored("prefs");
    ASSERT_EQ(after.size(), 20u);
    EXPECT_EQ(after[2], 0xFFFB);
    EXPECT_EQ(after[0], 2);
    for (size_t w : {1u, 3u, 5u, 14u, 15u, 19u})
        EXPECT_EQ(after[w], before[w]) << "word " << w;
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0481});
    std::vector<emu::RequestRecord> requests;
    ASSERT_TRUE(emu::history::ParseRequests(Unit("history requests"), requests));
    size_t preferenceReads = 0;
    for (const auto& r : requests)
        preferenceReads += r.function == 3 && r.address == kPreferencesRegister;
    EXPECT_GE(preferenceReads, 2u) << "re-read after the command, then the restore snapshot";
    EXPECT_EQ(FileBytes().size(), 182u);
}

TEST_F(ServiceDialogs, PreferencesResetSetPointsAndAFailedFirstReadIsNeverWrittenBack) {
    Unit("fault exception 4 1 on address " + std::to_string(kPreferencesRegister));
    auto run = Open<CPreferenceDialog>();
    EXPECT_EQ(CellText(run->item(IDC_PREF_TABLE), 0, 1), "0") << "a failed read shows zeros";
    Unit("history clear");
    run->Press(IDC_PREF_SAVE);
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::SaveRestore::UnitNotRead});
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(Commands().empty());
    ASSERT_TRUE(run->Open());

    run->Press(IDC_PREF_RESET_SETPOINTS);
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0382});
    EXPECT_EQ(refreshes, 1);
    EXPECT_NE(CellText(run->item(IDC_PREF_TABLE), 1, 1), "0") << "the values read back";
    answer = IDNO;
    run->Press(IDC_PREF_RESET_USER);
    EXPECT_EQ(TakeMessages(), std::vector<UINT>{nxlang::Message::ConfirmReset});
    EXPECT_EQ(Commands(), std::vector<uint16_t>{0x0382});
    run->Press(IDCANCEL);
    ASSERT_TRUE(run->Ended());
}

TEST_F(ServiceDialogs, PreferencesClosedWhileACellIsEditedWritesNothing) {
    auto run = Open<CPreferenceDialog>();
    HWND list = run->item(IDC_PREF_TABLE);
    RECT rect{LVIR_BOUNDS, 0, 0, 0};
    ::SendMessageA(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rect));
    const LPARAM at = MAKELPARAM(rect.left + 180, (rect.top + rect.bottom) / 2);
    for (int click = 0; click < 2; ++click) {
        ::SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageA(list, WM_LBUTTONUP, 0, at);
    }
    HWND edit = ::FindWindowExA(list, nullptr, "Edit", nullptr);
    ASSERT_TRUE(edit);
    ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("7"));
    Unit("history clear");
    run->Press(IDCANCEL);
    ASSERT_TRUE(run->Ended());
    EXPECT_FALSE(::IsWindow(edit));
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(Commands().empty());
}

TEST_F(ServiceDialogs, PreferencesOfAProtocolOneUnitHaveNoDoseUnitChoice) {
    StartUnit("1.02");
    auto run = Open<CPreferenceDialog>();
    EXPECT_FALSE(::IsWindowEnabled(run->item(IDC_PREF_DOSE)));
    EXPECT_FALSE(::IsWindowEnabled(run->item(IDC_PREF_DOSE_LABEL)));
    EXPECT_TRUE(::IsWindowEnabled(run->item(IDC_PREF_REST)));
    run->Press(IDCANCEL);
    ASSERT_TRUE(run->Ended());
    EXPECT_TRUE(Writes().empty());
}

} // namespace

namespace {

// Every value of the system's serial-port map counts, whatever its name: drivers name them freely.
TEST(SerialPorts, EveryValueOfTheSystemMap) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Hardware\\DeviceMap\\SerialComm", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::pair<const char*, const char*> values[] = {{"\\Device\\VSerial7", "COM7"},
                                                          {"USBSER000", "COM12"}};
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
