// Shot records from the unit's selection, shot result and image layout.
#include "host/ShotRecords.h"

#include "host/image/ShotRecordLayout.h"

#include <cstring>

namespace host {
namespace sr = host::shotrecord;
namespace {

// Gap between two TMJ images on the detector line, in pixels.
constexpr uint16_t kTmjImageGap = 50;
// A protocol 1 unit reports its dose kind as 0xFFFE: any kind above 1 means "no dose".
constexpr uint16_t kLastDoseKind = 1;

void FillFromUnit(const ShotContext& c, unitlink::CJbus& unit, ShotValues& values) {
    unitlink::SelectionRecord selection;
    unitlink::ShotResultRecord shot;
    // Both reads are made (the error latch sees each failure), but zeros from a dropped link would
    // pass for a zero-dose shot: the records and the shot values keep what they held.
    const bool selectionRead = unit.ReadSelection(&selection);
    const bool shotRead = unit.ReadShotResult(&shot);
    if (!selectionRead || !shotRead)
        return;

    // The factors are applied in single precision, as the host expects the stored floats.
    const float kv = static_cast<float>(selection.KvSetPoint());
    const float ma = static_cast<float>(shot.MilliAmpsTimes10()) * 0.1f;
    const float time = static_cast<float>(shot.TimeTimes100()) * 0.01f;

    unsigned char* pano = c.panoRecord;
    unsigned char* ceph = c.cephRecord;
    pano[sr::pano::kNoxState] = static_cast<unsigned char>(selection.Nox() & 0xFF);
    sr::StoreF32(pano, sr::pano::kKv, kv);
    sr::StoreF32(pano, sr::pano::kMa, ma);
    sr::StoreF32(pano, sr::pano::kExposureTime, time);
    sr::StoreU32(pano, sr::pano::kRefreshed, 1);
    sr::StoreF32(ceph, sr::ceph::kKv, kv);
    sr::StoreF32(ceph, sr::ceph::kMa, ma);
    sr::StoreF32(ceph, sr::ceph::kExposureTime, time);
    sr::StoreU32(ceph, sr::ceph::kRefreshed, 1);

    values.dose = shot.Dose();
    values.kv = shot.Kv();
    values.timeSeconds = static_cast<float>(shot.ExposureTimeTimes100()) * 0.01f;

    const uint16_t doseKind = shot.DoseKind();
    if (doseKind > kLastDoseKind) {
        // No dose: the cephalometric record keeps the last dose it was given.
        sr::StoreU32(pano, sr::pano::kDoseKind, 0);
        sr::StoreF32(pano, sr::pano::kDose1, 0.0f);
        sr::StoreF32(pano, sr::pano::kDose2, 0.0f);
    } else {
        sr::StoreU32(pano, sr::pano::kDoseKind, doseKind + 1u);
        sr::StoreF32(pano, sr::pano::kDose1, shot.FirstDoseValue());
        sr::StoreF32(pano, sr::pano::kDose2, shot.SecondDoseValue());
        sr::StoreU32(ceph, sr::ceph::kDoseKind, doseKind + 1u);
        sr::StoreF32(ceph, sr::ceph::kDose1, shot.FirstDoseValue());
        sr::StoreF32(ceph, sr::ceph::kDose2, shot.SecondDoseValue());
    }

    if (!c.newUnitFeatures || !c.panelExists)
        return;
    unitlink::ImageLayoutRecord layout;
    if (!unit.ReadImageLayout(&layout))
        return;
    const uint16_t count = layout.TmjImageCount();
    sr::StoreU16(pano, sr::pano::kSectionCount, count);
    // The record holds four sections; a larger count from the unit must not write past them.
    const uint16_t described = count < sr::pano::kMaxSections ? count : sr::pano::kMaxSections;
    if (described == 0)
        return;
    const uint16_t width = static_cast<uint16_t>(layout.TotalLength() / count);
    uint16_t offset = 0;
    for (uint16_t k = 0; k < described; ++k) {
        sr::StoreU16(pano, sr::pano::SectionOffset(k), offset);
        sr::StoreU16(pano, sr::pano::SectionWidth(k), width);
        offset = static_cast<uint16_t>(offset + width + kTmjImageGap);
    }
}

} // namespace

bool RefreshShotInfo(const ShotContext& c, ShotValues& values, unsigned char* out, std::size_t size) {
    if (!c.panoRecord || !c.cephRecord)
        return false;
    support::LockGuard lock(c.link.Lock());
    unitlink::CJbus* unit = lock.owns() ? c.link.Get() : nullptr; // without the lock: the record as it stands
    if (unit && unit->GetHandle() != unitlink::kClosedHandle)
        FillFromUnit(c, *unit, values);
    if (out && size == sr::pano::kSize)
        std::memcpy(out, c.panoRecord, sr::pano::kSize);
    else if (out && size == sr::ceph::kSize)
        std::memcpy(out, c.cephRecord, sr::ceph::kSize);
    return true;
}

void GetInfosTir(const ShotContext& c, ShotValues& values, uint8_t mode, unsigned char* record) {
    if (!record)
        return;
    if (mode == 1) {
        if (!RefreshShotInfo(c, values, record, sr::pano::kSize))
            return;
        sr::StoreF64(record, sr::pano::kRealResolution, sr::kPanoRealResolution);
        sr::StoreF64(record, sr::pano::kRealResolution + 8, sr::kPanoRealResolution);
        sr::StoreF64(record, sr::pano::kDisplayResolution, sr::kPanoDisplayResolution);
        sr::StoreF64(record, sr::pano::kDisplayResolution + 8, sr::kPanoDisplayResolution);
    } else {
        if (!RefreshShotInfo(c, values, record, sr::ceph::kSize))
            return;
        sr::StoreF64(record, sr::ceph::kRealResolution, sr::kCephaloRealResolution);
        sr::StoreF64(record, sr::ceph::kRealResolution + 8, sr::kCephaloRealResolution);
    }
}

void GetExpositionTime(const ShotContext& c, ShotValues& values, unsigned char* record) {
    if (!record)
        return;
    unsigned char copy[sr::pano::kSize];
    if (!RefreshShotInfo(c, values, copy, sizeof copy))
        return;
    for (std::size_t field : {sr::pano::kExposureTime, sr::pano::kDose1, sr::pano::kDose2, sr::pano::kDoseKind})
        std::memcpy(record + field, copy + field, 4);
}

uint8_t UpdateRotation(unitlink::UnitLink& link, support::RegistryStore& registry) {
    unitlink::ImageLayoutRecord layout;
    {
        support::LockGuard lock(link.Lock());
        if (unitlink::CJbus* unit = lock.owns() ? link.Get() : nullptr)
            unit->ReadImageLayout(&layout);
    }
    const bool rotated = layout.RotationFlag() != 0;
    if (auto key = registry.Open(support::RegistryRoot::LocalMachine, "Software\\Classes\\HALVEX\\PANO", true))
        key->SetText("Rotation", rotated ? "1" : "0");
    return rotated ? 0 : 1;
}

} // namespace host
