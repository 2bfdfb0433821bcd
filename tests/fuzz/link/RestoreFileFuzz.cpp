// Restore file and data block views under arbitrary bytes: any file content, any pattern of failing
// bus requests, any field index. The write-back never sends a short or missing file, a snapshot never
// replaces the file from a failed read, and a read-modify-write never writes a block from a failed read.
#include "link/BlockUpdate.h"
#include "link/JbusV1.h"
#include "link/JbusV2.h"
#include "link/RestoreFile.h"

#include "tests/fuzz/FuzzCheck.h"
#include "tests/unit/link/FakeBus.h"

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace unitlink;

class Pending : public PendingFile {
public:
    explicit Pending(std::optional<std::vector<uint8_t>>& committed) : m_committed(committed) {}
    bool Write(const void* data, std::size_t size) override {
        const auto* bytes = static_cast<const uint8_t*>(data);
        m_content.insert(m_content.end(), bytes, bytes + size);
        return true;
    }
    bool Commit() override {
        m_committed = m_content;
        return true;
    }

private:
    std::optional<std::vector<uint8_t>>& m_committed;
    std::vector<uint8_t> m_content;
};

// The file as the fuzzer wrote it (or none); a snapshot's committed content.
class Files : public RestoreFileStore {
public:
    std::optional<std::vector<uint8_t>> file;
    std::optional<std::vector<uint8_t>> committed;

    std::unique_ptr<PendingFile> BeginReplace(const std::string&) override {
        return std::make_unique<Pending>(committed);
    }
    std::optional<std::vector<uint8_t>> Read(const std::string&, std::size_t maxBytes) override {
        if (!file)
            return std::nullopt;
        return std::vector<uint8_t>(file->begin(), file->begin() + std::min(maxBytes, file->size()));
    }
};

// The views' getters and setters with arbitrary indexes and values must stay inside their block.
void ExerciseViews(FuzzedDataProvider& in, FactorySettingsBlock& factory, CalibrationTable& calibration,
                   PreferenceBlock& preferences) {
    factory.SetSerialNumber(in.ConsumeRandomLengthString(32));
    fuzz::Check(factory.SerialNumber().size() <= FactorySettingsBlock::kSerialNumberSize - 1);
    const int heating = in.ConsumeIntegral<int>();
    calibration.SetHeatingValue(heating, in.ConsumeIntegral<int16_t>());
    (void)calibration.HeatingValue(heating);
    (void)calibration.InformationFloat(in.ConsumeIntegral<int>());
    const auto coefficient = static_cast<CalibrationTable::Coefficient>(
        in.ConsumeIntegralInRange<int>(0, 15)); // every value the enumeration can hold
    calibration.SetCoefficient(coefficient, in.ConsumeFloatingPoint<float>());
    (void)calibration.GetCoefficient(coefficient);
    const int row = in.ConsumeIntegralInRange<int>(-2, 6);
    const int column = in.ConsumeIntegralInRange<int>(-2, 6);
    preferences.SetCompensationCell(row, column, in.ConsumeIntegral<int>());
    (void)preferences.CompensationCell(row, column);
    const std::size_t offset = PreferenceBlock::CompensationCellOffset(row, column);
    fuzz::Check(offset == 0 || offset + 2 <= PreferenceBlock::kSize);
}

// Writes since the calls were last cleared.
int Writes(const linktest::FakeBus& bus) {
    return bus.CountOf(linktest::BusCall::WriteOne) + bus.CountOf(linktest::BusCall::WriteSeveral);
}

template <typename Block>
void UpdateOnce(linktest::FakeBus& bus, CJbus& link, support::Lockable& lock, FuzzedDataProvider& in) {
    bus.failSchedule = in.ConsumeIntegral<uint8_t>();
    bus.calls.clear();
    std::vector<uint8_t> replacement = in.ConsumeBytes<uint8_t>(Block::kSize);
    replacement.resize(Block::kSize);
    const auto result = UpdateBlock<Block>(
        link, lock, [&](Block& block) { std::memcpy(block.data(), replacement.data(), replacement.size()); });
    if (result == BlockUpdateResult::ReadFailed)
        fuzz::Check(Writes(bus) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    linktest::FakeBus bus;
    const BusApi api = bus.Api();
    ErrorLatch latch;
    linktest::MemoryLock lock;
    const bool version2 = in.ConsumeBool();
    std::unique_ptr<CJbus> link = version2 ? std::unique_ptr<CJbus>(new CJbusV2(api, latch, [](unsigned) {}))
                                           : std::unique_ptr<CJbus>(new CJbusV1(api, latch, [](unsigned) {}));
    link->Open("COM1", 19200);
    bus.calls.clear();

    Files files;
    const uint8_t fileKind = in.ConsumeIntegral<uint8_t>();
    bus.failSchedule = in.ConsumeIntegral<uint32_t>();

    // Snapshot: only a complete set of good reads reaches the file.
    const auto saved = SaveRestoreFile(link.get(), lock, files, "restore");
    fuzz::Check((saved == RestoreSaveResult::Saved) == files.committed.has_value());
    if (files.committed)
        fuzz::Check(files.committed->size() == RestoreImage::kSize);
    if (bus.failSchedule & 0xF)
        fuzz::Check(saved == RestoreSaveResult::UnitReadFailed);

    // Write-back from whatever the file holds.
    if (fileKind % 4 != 0)
        files.file = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 400));
    bus.failSchedule = in.ConsumeIntegral<uint32_t>();
    bus.calls.clear();
    const auto restored =
        fileKind & 4 ? RestoreUnitBlock(link.get(), lock, files, "restore", in.ConsumeIntegral<uint8_t>())
                     : RestoreUnitBlocks(link.get(), lock, files, "restore");
    if (!files.file || files.file->size() < RestoreImage::kSize) {
        fuzz::Check(restored == (files.file ? RestoreResult::FileTooShort : RestoreResult::FileMissing));
        fuzz::Check(Writes(bus) == 0);
    }

    FactorySettingsBlock factory;
    CalibrationTable calibration;
    PreferenceBlock preferences;
    ExerciseViews(in, factory, calibration, preferences);
    UpdateOnce<FactorySettingsBlock>(bus, *link, lock, in);
    UpdateOnce<CalibrationTable>(bus, *link, lock, in);
    UpdateOnce<PreferenceBlock>(bus, *link, lock, in);
    return 0;
}
