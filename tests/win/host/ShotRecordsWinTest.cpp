// Shot records through the module's exports against the emulator (beside the module as Nxjbus.dll):
// both protocol versions, record sizes by mode, the four exposure fields, the TMJ layout.
#include "PanelHarness.h"
#include "host/image/ShotRecordLayout.h"

namespace sr = host::shotrecord;

namespace {

class RecordsFromUnit : public LivePanel {
protected:
    // A whole TMJ four-image exposure with the switch held to the end, on the emulator's clock.
    void FourImageTmjShot() {
        Unit("command 0x1104");
        Unit("command 0x0085"); // panel active: the unit may get ready
        Unit("expose");
        auto advance = reinterpret_cast<void (*)(unsigned)>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("Nxjbus.dll"), "EmuAdvanceMs")));
        ASSERT_NE(advance, nullptr);
        advance(60000);
    }
    void GetInfosTir(unsigned char* record) { module->Get<void (*)(void*)>("GetInfosTir")(record); }
};

TEST_F(RecordsFromUnit, Protocol2ShotFillsThePanoramicRecordWithItsTmjLayout) {
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    ASSERT_NO_FATAL_FAILURE(FourImageTmjShot());
    Start(1);

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
    Close();

    // Cephalometric mode (any mode but 1): the 293-byte record.
    Start(2);
    std::memset(record, 0x5A, sizeof record);
    GetInfosTir(record);
    EXPECT_EQ(record[293], 0x5A);
    EXPECT_EQ(sr::LoadF32(record, sr::ceph::kMa), 80 * 0.1f);
    EXPECT_EQ(sr::LoadF64(record, sr::ceph::kRealResolution), 0.13);
}

TEST_F(RecordsFromUnit, Protocol1ShotHasNoDose) {
    ASSERT_NO_FATAL_FAILURE(Load("1.02"));
    ASSERT_NO_FATAL_FAILURE(FourImageTmjShot());
    Start(1);
    unsigned char record[211];
    std::memset(record, 0x5A, sizeof record);
    GetInfosTir(record);
    EXPECT_EQ(sr::LoadF32(record, sr::pano::kMa), 80 * 0.1f);
    EXPECT_EQ(sr::LoadU32(record, sr::pano::kDoseKind), 0u);
    EXPECT_EQ(sr::LoadF32(record, sr::pano::kDose1), 0.0f);
    EXPECT_EQ(sr::LoadU16(record, sr::pano::SectionWidth(3)), 836) << "1.02 reports its TMJ layout";
}

} // namespace
