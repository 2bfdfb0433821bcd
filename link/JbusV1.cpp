// Protocol version 1 register map: conditions re-packed, shot result without dose, no acquisition
// status register.
#include "link/JbusV1.h"

namespace unitlink {

namespace {

// Byte offsets from the register base, and register counts.
constexpr uint16_t kIdentification = 0, kIdentificationWords = 15;
constexpr uint16_t kState = 30, kError = 32, kConditions = 34;
constexpr uint16_t kSelection = 36, kSelectionWords = 7;
constexpr uint16_t kShotResult = 50, kShotResultWords = 5;
constexpr uint16_t kMeasurements = 60, kMeasurementWords = 8;
constexpr uint16_t kCoolingTime = 76, kGeneralCounter = 78;
constexpr uint16_t kImageLayout = 80, kImageLayoutWords = 4;
constexpr uint16_t kLinkCounters = 88, kLinkCounterWords = 9;

} // namespace

uint16_t RepackConditionsV1(uint16_t raw) noexcept {
    // Protocol 1 spreads the same conditions over other bits; bits 4, 7, 10, 11 and 15 have no
    // counterpart in the newer layout.
    const uint32_t r = raw;
    return static_cast<uint16_t>((r & 0x000F) | ((r & 0x0060) >> 1) | ((r & 0x0300) >> 2) |
                                 ((r & 0x7000) << 1));
}

CJbusV1::CJbusV1(const BusApi& bus, ErrorLatch& latch, WaitFunction wait)
    : CJbusSharedMap(bus, latch, std::move(wait)) {
    registerBase = defaultRegisterBase;
    identificationBase = identificationAddress;
    hostTextAddress = 0xD030;
}

int CJbusV1::GetProtocolVersion() {
    return 1;
}

bool CJbusV1::ReadIdentification(IdentificationBlock* out) {
    return ReadInto(RegisterWord(kIdentification), kIdentificationWords, out, IdentificationBlock::kSize);
}

bool CJbusV1::ReadUnitState(uint16_t* state) {
    return ReadInto(RegisterWord(kState), 1, state, 2);
}

bool CJbusV1::ReadUnitError(uint16_t* error) {
    return ReadInto(RegisterWord(kError), 1, error, 2);
}

bool CJbusV1::ReadUnitConditions(uint16_t* conditions) {
    uint16_t raw = 0;
    const bool ok = ReadInto(RegisterWord(kConditions), 1, &raw, 2);
    if (conditions)
        *conditions = RepackConditionsV1(raw);
    return ok;
}

bool CJbusV1::ReadSelection(SelectionRecord* out) {
    return ReadInto(RegisterWord(kSelection), kSelectionWords, out, SelectionRecord::kSize);
}

bool CJbusV1::ReadShotResult(ShotResultRecord* out) {
    uint16_t words[kShotResultWords] = {};
    const bool ok = ReadInto(RegisterWord(kShotResult), kShotResultWords, words, sizeof words);
    if (!out)
        return ok;
    out->Clear();
    if (ok) {
        // kV, mA, the two times; the fifth register is not used. No dose on these units.
        for (int i = 0; i < 4; ++i)
            out->SetU16(2 * static_cast<std::size_t>(i), words[i]);
        out->SetF32(8, 0.0f);
        out->SetU16(12, ShotResultRecord::kNoDoseKindV1);
    }
    return ok;
}

bool CJbusV1::ReadMeasurements(MeasurementRecord* out) {
    return ReadInto(RegisterWord(kMeasurements), kMeasurementWords, out, MeasurementRecord::kSize);
}

bool CJbusV1::ReadCoolingTime(uint16_t* seconds) {
    return ReadInto(RegisterWord(kCoolingTime), 1, seconds, 2);
}

bool CJbusV1::ReadGeneralCounter(uint16_t* value) {
    return ReadInto(RegisterWord(kGeneralCounter), 1, value, 2);
}

bool CJbusV1::ReadImageLayout(ImageLayoutRecord* out) {
    return ReadInto(RegisterWord(kImageLayout), kImageLayoutWords, out, ImageLayoutRecord::kSize);
}

bool CJbusV1::ReadLinkCounters(LinkCounterRecord* out) {
    return ReadInto(RegisterWord(kLinkCounters), kLinkCounterWords, out, LinkCounterRecord::kSize);
}

bool CJbusV1::ReadAcquisitionStatus(uint16_t* status) {
    // These units have no such register: report "nothing to say" without asking.
    if (status)
        *status = 0;
    return true;
}

} // namespace unitlink
