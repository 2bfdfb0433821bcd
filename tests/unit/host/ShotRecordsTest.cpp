// Shot records from the unit: field values and offsets, dose kinds of both protocols, the TMJ layout,
// what each export copies out, and the rotation setting.
#include "host/ShotRecords.h"
#include "host/image/ShotRecordLayout.h"
#include "tests/unit/link/FakeBus.h"
#include "tests/unit/support/MemoryRegistry.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <tuple>

namespace sr = host::shotrecord;

namespace {

// Word address of a register at byte offset o from the unit's base 0xE000.
constexpr uint16_t At(uint16_t offset) { return static_cast<uint16_t>(0x7000 + offset / 2); }

void PutFloat(linktest::FakeBus& bus, uint16_t offset, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    bus.registers[At(offset)] = static_cast<uint16_t>(bits & 0xFFFF);
    bus.registers[At(offset + 2)] = static_cast<uint16_t>(bits >> 16);
}

class ShotRecords : public ::testing::Test {
protected:
    void Open(int protocol) {
        link.Create(protocol);
        ASSERT_TRUE(link.Get()->Open("COM1", 19200));
    }
    host::ShotContext Context(bool newFeatures = true, bool panel = true) {
        return {link, pano.data(), ceph.data(), newFeatures, panel};
    }
    // A protocol 2 shot: kV set point 70, mA 8.5, time 14.2 s (exposure 14.0 s), dose kind 1.
    void ShotV2() {
        bus.registers[At(36)] = 70;   // kV set point
        bus.registers[At(92)] = 0x0101; // NOX state word
        bus.registers[At(48)] = 72;   // shot kV
        bus.registers[At(50)] = 85;   // mA x 10
        bus.registers[At(52)] = 1400; // exposure time x 100
        bus.registers[At(54)] = 1420; // time x 100
        PutFloat(bus, 56, 123.5f);    // dose
        bus.registers[At(60)] = 1;    // dose kind
        PutFloat(bus, 62, 4.25f);
        PutFloat(bus, 66, 9.5f);
        bus.registers[At(94)] = 1;    // rotation
        bus.registers[At(98)] = 4;    // TMJ images
        bus.registers[At(100)] = 3344;
    }

    linktest::FakeBus bus;
    linktest::MemoryLock lock;
    unitlink::ErrorLatch latch;
    unitlink::UnitLink link{lock, bus.Api(), latch, [](unsigned) {}};
    std::array<unsigned char, 211> pano{};
    std::array<unsigned char, 293> ceph{};
    host::ShotValues values;
};

TEST_F(ShotRecords, RefreshFillsBothRecordsAndTheShotValuesFromAProtocol2Unit) {
    Open(2);
    ShotV2();
    unsigned char out[211];
    std::memset(out, 0xA5, sizeof out);
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, out, sizeof out));

    EXPECT_EQ(pano[sr::pano::kNoxState], 0x01);
    for (const auto* record : {pano.data(), ceph.data()}) {
        const bool p = record == pano.data();
        EXPECT_EQ(sr::LoadF32(record, p ? sr::pano::kKv : sr::ceph::kKv), 70.0f);
        EXPECT_EQ(sr::LoadF32(record, p ? sr::pano::kMa : sr::ceph::kMa), 85 * 0.1f);
        EXPECT_EQ(sr::LoadF32(record, p ? sr::pano::kExposureTime : sr::ceph::kExposureTime), 1420 * 0.01f);
        EXPECT_EQ(sr::LoadU32(record, p ? sr::pano::kRefreshed : sr::ceph::kRefreshed), 1u);
        EXPECT_EQ(sr::LoadU32(record, p ? sr::pano::kDoseKind : sr::ceph::kDoseKind), 2u);
        EXPECT_EQ(sr::LoadF32(record, p ? sr::pano::kDose1 : sr::ceph::kDose1), 4.25f);
    }
    EXPECT_EQ(sr::LoadF32(pano.data(), sr::pano::kDose2), 9.5f);
    EXPECT_EQ(values.kv, 72);
    EXPECT_EQ(values.timeSeconds, 1400 * 0.01f);
    EXPECT_EQ(values.dose, 123.5f);

    // Four TMJ images over 3344: 836 each, 50 pixels apart.
    EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::kSectionCount), 4);
    const uint16_t offsets[] = {0, 886, 1772, 2658};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::SectionOffset(k)), offsets[k]) << k;
        EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::SectionWidth(k)), 836) << k;
    }
    EXPECT_EQ(std::memcmp(out, pano.data(), sizeof out), 0) << "size 211 copies the panoramic record";
}

TEST_F(ShotRecords, Protocol1UnitHasNoDoseAndLeavesTheCephalometricDoseAlone) {
    Open(1);
    sr::StoreU32(ceph.data(), sr::ceph::kDoseKind, 2);
    sr::StoreF32(ceph.data(), sr::ceph::kDose1, 7.0f);
    sr::StoreF32(pano.data(), sr::pano::kDose1, 3.0f);
    bus.registers[At(50)] = 80;  // shot kV
    bus.registers[At(52)] = 100; // mA x 10
    bus.registers[At(56)] = 950; // time x 100
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, nullptr, 0));
    EXPECT_EQ(sr::LoadU32(pano.data(), sr::pano::kDoseKind), 0u);
    EXPECT_EQ(sr::LoadF32(pano.data(), sr::pano::kDose1), 0.0f);
    EXPECT_EQ(sr::LoadF32(pano.data(), sr::pano::kExposureTime), 950 * 0.01f);
    EXPECT_EQ(sr::LoadU32(ceph.data(), sr::ceph::kDoseKind), 2u);
    EXPECT_EQ(sr::LoadF32(ceph.data(), sr::ceph::kDose1), 7.0f);
    EXPECT_EQ(values.kv, 80);
    EXPECT_EQ(values.dose, 0.0f);
}

TEST_F(ShotRecords, LayoutNeedsNewFeaturesAndAPanelAndNeverWritesPastFourSections) {
    Open(2);
    ShotV2();
    sr::StoreU16(pano.data(), sr::pano::kSectionCount, 1);
    ASSERT_TRUE(host::RefreshShotInfo(Context(false, true), values, nullptr, 0));
    EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::kSectionCount), 1) << "old unit: the panel's layout stays";
    ASSERT_TRUE(host::RefreshShotInfo(Context(true, false), values, nullptr, 0));
    EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::kSectionCount), 1) << "no panel: the panel's layout stays";

    bus.registers[At(98)] = 0;
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, nullptr, 0));
    EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::kSectionCount), 0);

    bus.registers[At(98)] = 9; // more images than the record describes
    bus.registers[At(100)] = 900;
    const std::size_t afterSections = sr::pano::SectionWidth(3) + 2;
    pano[afterSections] = 0xC3;
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, nullptr, 0));
    EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::kSectionCount), 9);
    EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::SectionOffset(3)), 450);
    EXPECT_EQ(sr::LoadU16(pano.data(), sr::pano::SectionWidth(3)), 100);
    EXPECT_EQ(pano[afterSections], 0xC3);
}

TEST_F(ShotRecords, ClosedLinkCopiesTheRecordsAsTheyStand) {
    sr::StoreF32(pano.data(), sr::pano::kKv, 66.0f);
    unsigned char out[211] = {};
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, out, sizeof out)) << "no link at all";
    EXPECT_EQ(sr::LoadF32(out, sr::pano::kKv), 66.0f);
    Open(2);
    link.Get()->Close();
    ShotV2();
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, out, sizeof out));
    EXPECT_EQ(sr::LoadF32(out, sr::pano::kKv), 66.0f);
    EXPECT_EQ(bus.CountOf(linktest::BusCall::Read), 0);

    host::ShotContext unallocated{link, nullptr, nullptr, true, true};
    EXPECT_FALSE(host::RefreshShotInfo(unallocated, values, out, sizeof out));
}

// A dropped link must not pass for a zero-dose shot: whichever read fails, both records and the
// shot values stay byte for byte, the failure is latched, and the record is still copied out.
TEST_F(ShotRecords, FailedUnitReadLeavesBothRecordsAndTheShotValuesAsTheyWere) {
    Open(2);
    ShotV2();
    ASSERT_TRUE(host::RefreshShotInfo(Context(), values, nullptr, 0));
    ASSERT_EQ(sr::LoadU32(ceph.data(), sr::ceph::kDoseKind), 2u);
    sr::StoreU32(pano.data(), sr::pano::kRefreshed, 0); // as the panel leaves it at start-up
    sr::StoreU32(ceph.data(), sr::ceph::kRefreshed, 0);
    const auto panoBefore = pano;
    const auto cephBefore = ceph;
    const host::ShotValues valuesBefore = values;

    const struct {
        uint16_t failingWord;
        const char* what;
    } cases[] = {{At(36), "selection"}, {At(48), "shot result"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bus.failAt = {{c.failingWord, 12}};
        latch.Clear();
        unsigned char out[293];
        std::memset(out, 0xA5, sizeof out);
        ASSERT_TRUE(host::RefreshShotInfo(Context(), values, out, sizeof out));
        EXPECT_EQ(pano, panoBefore);
        EXPECT_EQ(ceph, cephBefore);
        EXPECT_EQ(std::memcmp(out, ceph.data(), sizeof out), 0) << "the copy-out still happens";
        EXPECT_EQ(std::make_tuple(values.kv, values.dose, values.timeSeconds),
                  std::make_tuple(valuesBefore.kv, valuesBefore.dose, valuesBefore.timeSeconds));
        EXPECT_EQ(latch.GetLatchedError(), 112);
    }
}

TEST_F(ShotRecords, ExportsCopyTheRightRecordWithResolutionsOrOnlyTheFourExposureFields) {
    Open(2);
    ShotV2();
    unsigned char panoOut[211];
    std::memset(panoOut, 0x5A, sizeof panoOut);
    host::GetInfosTir(Context(), values, 1, panoOut);
    for (const std::size_t axis : {0, 8}) {
        EXPECT_EQ(sr::LoadF64(panoOut, sr::pano::kRealResolution + axis), 0.104);
        EXPECT_EQ(sr::LoadF64(panoOut, sr::pano::kDisplayResolution + axis), 0.08188976377952756);
    }
    EXPECT_EQ(sr::LoadF64(pano.data(), sr::pano::kRealResolution), 0.0) << "only the host's copy";

    for (uint8_t mode : {0, 2}) {
        unsigned char cephOut[293];
        std::memset(cephOut, 0x5A, sizeof cephOut);
        host::GetInfosTir(Context(), values, mode, cephOut);
        EXPECT_EQ(sr::LoadF32(cephOut, sr::ceph::kMa), 85 * 0.1f);
        EXPECT_EQ(sr::LoadF64(cephOut, sr::ceph::kRealResolution + 8), 0.13);
    }

    unsigned char host[211];
    std::memset(host, 0x5A, sizeof host);
    host::GetExpositionTime(Context(), values, host);
    for (std::size_t i = 0; i < sizeof host; ++i) {
        const bool field = (i >= 41 && i < 45) || (i >= 91 && i < 103);
        if (!field) {
            ASSERT_EQ(host[i], 0x5A) << "byte " << i << " must stay";
        }
    }
    EXPECT_EQ(sr::LoadF32(host, sr::pano::kExposureTime), 1420 * 0.01f);
    EXPECT_EQ(sr::LoadU32(host, sr::pano::kDoseKind), 2u);
    host::GetInfosTir(Context(), values, 1, nullptr);
    host::GetExpositionTime(Context(), values, nullptr);
}

TEST_F(ShotRecords, RotationFlagSetsMirrorAndTheMachineSetting) {
    Open(2);
    testing_support::MemoryRegistry registry;
    bus.registers[At(94)] = 1;
    EXPECT_EQ(host::UpdateRotation(link, registry), 0);
    const auto* key = registry.Find(support::RegistryRoot::LocalMachine, "Software\\Classes\\HALVEX\\PANO");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->at("Rotation").text, "1");
    bus.registers[At(94)] = 0;
    EXPECT_EQ(host::UpdateRotation(link, registry), 1);
    EXPECT_EQ(key->at("Rotation").text, "0");
}

} // namespace
