// Protocol version 2 register map: selection from two reads, full shot result with dose, acquisition
// status.
#include "link/JbusV2.h"

namespace unitlink {

namespace {

// Byte offsets from the register base, and register counts.
constexpr uint16_t kIdentification = 0, kIdentificationWords = 15;
constexpr uint16_t kState = 30, kError = 32, kConditions = 34;
constexpr uint16_t kSelection = 36, kSelectionWords = 6, kNoxState = 92;
constexpr uint16_t kShotResult = 48, kShotResultWords = 11;
constexpr uint16_t kMeasurements = 70, kMeasurementWords = 8;
constexpr uint16_t kCoolingTime = 86, kGeneralCounter = 88;
constexpr uint16_t kAcquisitionStatus = 90;
constexpr uint16_t kImageLayout = 94, kImageLayoutWords = 4;
constexpr uint16_t kLinkCounters = 102, kLinkCounterWords = 9;

} // namespace

CJbusV2::CJbusV2(const BusApi& bus, ErrorLatch& latch, WaitFunction wait)
    : CJbusSharedMap(bus, latch, std::move(wait)) {
    registerBase = defaultRegisterBase;
    identificationBase = identificationAddress;
    hostTextAddress = 0xD02E;
}

int CJbusV2::GetProtocolVersion() {
    return 2;
}

bool CJbusV2::ReadIdentification(IdentificationBlock* out) {
    return ReadInto(RegisterWord(kIdentification), kIdentificationWords, out, IdentificationBlock::kSize);
}

bool CJbusV2::ReadUnitState(uint16_t* state) {
    return ReadInto(RegisterWord(kState), 1, state, 2);
}

bool CJbusV2::ReadUnitError(uint16_t* error) {
    return ReadInto(RegisterWord(kError), 1, error, 2);
}

bool CJbusV2::ReadUnitConditions(uint16_t* conditions) {
    return ReadInto(RegisterWord(kConditions), 1, conditions, 2);
}

bool CJbusV2::ReadSelection(SelectionRecord* out) {
    uint16_t words[kSelectionWords] = {};
    uint16_t nox = 0;
    // Both requests go out even when the first fails, so the unit sees the same traffic either way.
    const bool first = ReadInto(RegisterWord(kSelection), kSelectionWords, words, sizeof words);
    const bool second = ReadInto(RegisterWord(kNoxState), 1, &nox, sizeof nox);
    if (!out)
        return first && second;
    out->Clear();
    if (!(first && second))
        return false;
    out->SetU16(0, words[0]);
    out->SetU16(2, words[1]);
    out->SetU16(4, words[2]);
    // Only the program code byte; the register's high byte is not part of the selection.
    out->SetU8(6, static_cast<uint8_t>(words[3] & 0xFF));
    out->SetU8(7, 0);
    out->SetU16(8, words[4]);
    out->SetU16(10, words[5]);
    out->SetU16(12, nox);
    return true;
}

bool CJbusV2::ReadShotResult(ShotResultRecord* out) {
    return ReadInto(RegisterWord(kShotResult), kShotResultWords, out, ShotResultRecord::kSize);
}

bool CJbusV2::ReadMeasurements(MeasurementRecord* out) {
    return ReadInto(RegisterWord(kMeasurements), kMeasurementWords, out, MeasurementRecord::kSize);
}

bool CJbusV2::ReadCoolingTime(uint16_t* seconds) {
    return ReadInto(RegisterWord(kCoolingTime), 1, seconds, 2);
}

bool CJbusV2::ReadGeneralCounter(uint16_t* value) {
    return ReadInto(RegisterWord(kGeneralCounter), 1, value, 2);
}

bool CJbusV2::ReadImageLayout(ImageLayoutRecord* out) {
    return ReadInto(RegisterWord(kImageLayout), kImageLayoutWords, out, ImageLayoutRecord::kSize);
}

bool CJbusV2::ReadLinkCounters(LinkCounterRecord* out) {
    return ReadInto(RegisterWord(kLinkCounters), kLinkCounterWords, out, LinkCounterRecord::kSize);
}

bool CJbusV2::ReadAcquisitionStatus(uint16_t* status) {
    return ReadInto(RegisterWord(kAcquisitionStatus), 1, status, 2);
}

} // namespace unitlink
