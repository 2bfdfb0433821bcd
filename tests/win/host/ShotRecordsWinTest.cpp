// Shot records through the module's exports against the emulator (beside the module as Nxjbus.dll):
// both protocol versions, record sizes by mode, the four exposure fields, the TMJ layout.
#include "ModuleHarness.h"
#include "host/image/ShotRecordLayout.h"

#include <gtest/gtest.h>

#include <cstring>

namespace sr = host::shotrecord;

namespace {

using ControlFn = int (*)(const char*, char*, int);
using AdvanceFn = void (*)(unsigned);

std::string EmulatorFolder() {
    std::string path = "Z:" LUMEN_EMU_MODULE_DIR;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path + "\\";
}

void SetPortSettings() {
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    ::RegSetValueExA(key, "COM", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
    ::RegCloseKey(key);
    DWORD baud = 19200;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO\\LUMEN70", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr);
    ::RegSetValueExA(key, "Baudrate", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&baud), sizeof baud);
    ::RegCloseKey(key);
}

class RecordsFromUnit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        harness::ClearStartPgm();
        SetPortSettings();
    }
    // A module instance of its own (a copy under another name), in the folder with the emulator.
    void Load(const char* name) {
        const std::string copy = EmulatorFolder() + name;
        ASSERT_TRUE(::CopyFileA((EmulatorFolder() + "Lumen70_Demo.dll").c_str(), copy.c_str(), FALSE));
        module = std::make_unique<harness::Module>(copy);
        ASSERT_NE(module->Handle(), nullptr);
        HMODULE bus = ::GetModuleHandleA("Nxjbus.dll");
        control = reinterpret_cast<ControlFn>(reinterpret_cast<void*>(::GetProcAddress(bus, "EmuControl")));
        advance = reinterpret_cast<AdvanceFn>(reinterpret_cast<void*>(::GetProcAddress(bus, "EmuAdvanceMs")));
        ASSERT_NE(control, nullptr) << "the emulator's bus library sits beside the module";
    }
    void Unit(const char* line) { ASSERT_EQ(control(line, nullptr, 0), 0) << line; }
    // A whole TMJ four-image exposure with the switch held to the end.
    void FourImageTmjShot() {
        Unit("command 0x1104");
        Unit("command 0x0085"); // panel active: the unit may get ready
        Unit("expose");
        advance(60000);
    }
    uint32_t StartPanel(unsigned char mode) {
        uint32_t slot = 0;
        EXPECT_EQ(module->Get<harness::StartDialogFn>("StartDialog")(0, &slot, nullptr, mode, nullptr), 15);
        return slot;
    }
    void ClosePanel(uint32_t slot) {
        HWND panel = reinterpret_cast<HWND>(static_cast<uintptr_t>(slot));
        ::PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        for (int i = 0; i < 500 && ::IsWindow(panel); ++i)
            ::Sleep(10);
    }
    void GetInfosTir(unsigned char* record) { module->Get<void (*)(void*)>("GetInfosTir")(record); }

    std::unique_ptr<harness::Module> module;
    ControlFn control = nullptr;
    AdvanceFn advance = nullptr;
};

TEST_F(RecordsFromUnit, Protocol2ShotFillsThePanoramicRecordWithItsTmjLayout) {
    Load("Lumen70_V2.dll");
    Unit("version 2.10");
    ASSERT_EQ(module->Get<harness::OpenCommPortFn>("OpenCommPort")(), 15);
    FourImageTmjShot();
    const uint32_t panel = StartPanel(1);

    unsigned char record[400];
    std::memset(record, 0x5A, sizeof record);
    GetInfosTir(record);
    EXPECT_EQ(record[211], 0x5A) << "mode 1 fills 211 bytes";
    EXPECT_EQ(sr::LoadF32(record, sr::pano::kKv), 68.0f);
    EXPECT_EQ(sr::LoadF32(record, sr::pano::kMa), 80 * 0.1f);
    EXPECT_EQ(sr::LoadF32(record, sr::pano::kExposureTime), 1640 * 0.01f);
    EXPECT_EQ(sr::LoadU32(record, sr::pano::kRefreshed), 1u);
    const uint32_t doseKind = sr::LoadU32(record, sr::pano::kDoseKind);
    EXPECT_TRUE(doseKind == 1 || doseKind == 2) << doseKind;
    EXPECT_GT(sr::LoadF32(record, sr::pano::kDose1), 0.0f);
    EXPECT_EQ(sr::LoadU16(record, sr::pano::kSectionCount), 4);
    const uint16_t offsets[] = {0, 886, 1772, 2658};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(sr::LoadU16(record, sr::pano::SectionOffset(k)), offsets[k]);
        EXPECT_EQ(sr::LoadU16(record, sr::pano::SectionWidth(k)), 836);
    }
    EXPECT_EQ(sr::LoadF64(record, sr::pano::kRealResolution), 0.104);
    EXPECT_EQ(sr::LoadF64(record, sr::pano::kDisplayResolution + 8), 0.08188976377952756);

    unsigned char times[211];
    std::memset(times, 0x5A, sizeof times);
    module->Get<void (*)(void*)>("GetExpositionTime")(times);
    for (std::size_t i = 0; i < sizeof times; ++i) {
        const bool field = (i >= 41 && i < 45) || (i >= 91 && i < 103);
        if (field)
            EXPECT_EQ(times[i], record[i]) << "byte " << i;
        else
            ASSERT_EQ(times[i], 0x5A) << "byte " << i << " must stay";
    }
    ClosePanel(panel);

    // Cephalometric mode (any mode but 1): the 293-byte record.
    const uint32_t cephPanel = StartPanel(2);
    std::memset(record, 0x5A, sizeof record);
    GetInfosTir(record);
    EXPECT_EQ(record[293], 0x5A);
    EXPECT_EQ(sr::LoadF32(record, sr::ceph::kMa), 80 * 0.1f);
    EXPECT_EQ(sr::LoadF64(record, sr::ceph::kRealResolution), 0.13);
    ClosePanel(cephPanel);
}

TEST_F(RecordsFromUnit, Protocol1ShotHasNoDose) {
    Load("Lumen70_V1.dll");
    Unit("version 1.02");
    ASSERT_EQ(module->Get<harness::OpenCommPortFn>("OpenCommPort")(), 15);
    FourImageTmjShot();
    const uint32_t panel = StartPanel(1);
    unsigned char record[211];
    std::memset(record, 0x5A, sizeof record);
    GetInfosTir(record);
    EXPECT_EQ(sr::LoadF32(record, sr::pano::kMa), 80 * 0.1f);
    EXPECT_EQ(sr::LoadU32(record, sr::pano::kDoseKind), 0u);
    EXPECT_EQ(sr::LoadF32(record, sr::pano::kDose1), 0.0f);
    EXPECT_EQ(sr::LoadU16(record, sr::pano::SectionWidth(3)), 836) << "1.02 reports its TMJ layout";
    ClosePanel(panel);
    Unit("version 2.10");
}

} // namespace
