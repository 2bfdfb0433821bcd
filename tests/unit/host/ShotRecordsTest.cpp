// Shot records from the unit: what a failed read, an odd layout and each export may and may not touch.
// The records' values from both protocols and the rotation setting are checked against the emulator
// under Wine.
#include "host/ShotRecords.h"
#include "host/image/ShotRecordLayout.h"
#include "tests/unit/link/FakeBus.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <tuple>

namespace sr = host::shotrecord;
using linktest::Reg;

namespace {

class ShotRecords : public ::testing::Test {
protected:
    // A protocol 2 unit after a shot: kV 72, mA 8.5, time 14.2 s, dose kind 1, four TMJ images.
    void SetUp() override {
        link.Create(2);
        ASSERT_TRUE(link.Get()->Open("COM1", 19200));
        const std::pair<uint16_t, uint16_t> words[] = {{36, 70}, {48, 72}, {50, 85}, {52, 1400}, {54, 1420},
                                                       {60, 1},  {94, 1},  {98, 4},  {100, 3344}};
        for (const auto& [offset, value] : words)
            bus.registers[Reg(offset)] = value;
    }
    host::ShotContext Context(bool newFeatures = true, bool panel = true) {
        return {link, pano.data(), ceph.data(), newFeatures, panel};
    }

    linktest::FakeBus bus;
    linktest::MemoryLock lock;
    unitlink::ErrorLatch latch;
    unitlink::UnitLink link{lock, bus.Api(), latch, [](unsigned) {}};
    std::array<unsigned char, 211> pano{};
    std::array<unsigned char, 293> ceph{};
    host::ShotValues values;
};

// A dropped link must not pass for a zero-dose shot: whichever read fails, both records and the
// shot values stay byte for byte, the failure is latched, and the record is still copied out.
TEST_F(ShotRecords, FailedUnitReadLeavesBothRecordsAndTheShotValuesAsTheyWere) {
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, nullptr, 0));
    ASSERT_EQ(sr::LoadU32(ceph.data(), sr::ceph::kDoseKind), 2u);
    sr::StoreU32(pano.data(), sr::pano::kRefreshed, 0); // as the panel leaves it at start-up
    const auto panoBefore = pano;
    const auto cephBefore = ceph;
    const host::ShotValues valuesBefore = values;
    for (const uint16_t failing : {Reg(36), Reg(48)}) { // selection, shot result
        bus.failAt = {{failing, 12}};
        latch.Clear();
        unsigned char out[293];
        std::memset(out, 0xA5, sizeof out);
        ASSERT_TRUE(host::RefreshShotInfo(Context(), values, out, sizeof out));
        EXPECT_EQ(pano, panoBefore) << failing;
        EXPECT_EQ(ceph, cephBefore) << failing;
        EXPECT_EQ(std::memcmp(out, ceph.data(), sizeof out), 0) << "the copy-out still happens";
        EXPECT_EQ(std::make_tuple(values.kv, values.dose, values.timeSeconds),
                  std::make_tuple(valuesBefore.kv, valuesBefore.dose, valuesBefore.timeSeconds));
        EXPECT_EQ(latch.GetLatchedError(), 112);
    }
}

TEST_F(ShotRecords, LayoutNeedsNewFeaturesAndAPanelAndNeverWritesPastFourSections) {
    sr::StoreU16(pano.data(), sr::pano::kSectionCount, 1);
    for (const auto& [features, panel] : {std::pair{false, true}, {true, false}}) {
        ASSERT_TRUE(host::RefreshShotInfo(Context(features, panel), values, nullptr, 0));
        EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::kSectionCount), 1) << "the panel's layout stays";
    }
    bus.registers[Reg(98)] = 9; // more images than the record describes
    bus.registers[Reg(100)] = 900;
    const std::size_t afterSections = sr::pano::SectionWidth(3) + 2;
    pano[afterSections] = 0xC3;
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, nullptr, 0));
    EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::kSectionCount), 9);
    EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::SectionWidth(3)), 100);
    EXPECT_EQ(pano[afterSections], 0xC3);

    // Without a link the records are copied out as they stand; without records nothing is.
    link.Get()->Close();
    bus.calls.clear();
    unsigned char out[211] = {};
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, out, sizeof out));
    EXPECT_EQ(std::memcmp(out, pano.data(), sizeof out), 0);
    EXPECT_TRUE(bus.calls.empty());
    host::ShotContext unallocated{link, nullptr, nullptr, true, true};
    EXPECT_FALSE(host::RefreshShotInfo(unallocated, values, out, sizeof out));
}

TEST_F(ShotRecords, ExportsCopyTheRightRecordWithResolutionsOrOnlyTheFourExposureFields) {
    unsigned char panoOut[211];
    host::GetInfosTir(Context(), values, 1, panoOut);
    EXPECT_EQ(sr::LoadF64(panoOut, sr::pano::kRealResolution + 8), 0.104);
    EXPECT_EQ(sr::LoadF64(panoOut, sr::pano::kDisplayResolution), 0.08188976377952756);
    EXPECT_EQ(sr::LoadF64(pano.data(), sr::pano::kRealResolution), 0.0) << "only the host's copy";
    unsigned char cephOut[293];
    host::GetInfosTir(Context(), values, 2, cephOut);
    EXPECT_EQ(sr::LoadF32(cephOut, sr::ceph::kMa), 85 * 0.1f);
    EXPECT_EQ(sr::LoadF64(cephOut, sr::ceph::kRealResolution + 8), 0.13);

    unsigned char host[211];
    std::memset(host, 0x5A, sizeof host);
    host::GetExpositionTime(Context(), values, host);
    for (std::size_t i = 0; i < sizeof host; ++i) {
        if (!((i >= 41 && i < 45) || (i >= 91 && i < 103))) {
            ASSERT_EQ(host[i], 0x5A) << "byte " << i << " must stay";
        }
    }
    EXPECT_EQ(sr::LoadF32(host, sr::pano::kExposureTime), 1420 * 0.01f);
    EXPECT_EQ(sr::LoadU32(host, sr::pano::kDoseKind), 2u);
    host::GetInfosTir(Context(), values, 1, nullptr);
    host::GetExpositionTime(Context(), values, nullptr);
}

} // namespace
