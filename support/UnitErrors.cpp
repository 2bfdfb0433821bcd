// The unit error codes: kinds, retry commands, data blocks and their write-back, repeat filter.
#include "support/UnitErrors.h"

#include "link/DataBlocks.h"
#include "nxlang/TextIds.h"

#include <array>
#include <cstring>

namespace support {

namespace {

struct CodeRange {
    int32_t first;
    int32_t last;
    UnitErrorKind kind;
};

// Every code not listed here only takes the common steps.
constexpr std::array kCodeRanges{
    CodeRange{1, 1, UnitErrorKind::SetPoint},
    CodeRange{2, 27, UnitErrorKind::UnitFault},
    CodeRange{50, 53, UnitErrorKind::UnitFault},
    CodeRange{54, 54, UnitErrorKind::DataBlock},
    CodeRange{55, 55, UnitErrorKind::SetPointTable},
    CodeRange{56, 57, UnitErrorKind::DataBlock},
    CodeRange{58, 61, UnitErrorKind::UnitFault},
    // 106, the unit busy, is transient: the next poll simply asks again.
    CodeRange{101, 105, UnitErrorKind::CommunicationFailure},
    CodeRange{107, 114, UnitErrorKind::CommunicationFailure},
    CodeRange{201, 201, UnitErrorKind::SecurityTimeOut},
    CodeRange{202, 202, UnitErrorKind::AcquisitionFailed},
};

constexpr std::array kDataBlocks{
    DataBlockSpec{54, unitlink::kCalibrationTableMask, unitlink::RestoreImage::kCalibrationTableOffset,
                  unitlink::CalibrationTable::kSize, nxlang::ErrorDialog::CalibrationTableError},
    DataBlockSpec{56, unitlink::kFactorySettingsMask, unitlink::RestoreImage::kFactorySettingsOffset,
                  unitlink::FactorySettingsBlock::kSize, nxlang::ErrorDialog::FactorySettingsError},
    DataBlockSpec{57, unitlink::kPreferencesMask, unitlink::RestoreImage::kPreferencesOffset,
                  unitlink::PreferenceBlock::kSize, nxlang::ErrorDialog::PreferencesError},
};

constexpr int32_t kCycleInterrupted = 59;
constexpr int32_t kCancelledAtUnit = 61;

template <typename Block>
bool WriteBlock(unitlink::CJbus& link, const uint8_t* bytes, bool (unitlink::CJbus::*write)(const Block*)) {
    Block block;
    std::memcpy(block.data(), bytes, Block::kSize);
    return (link.*write)(&block);
}

} // namespace

UnitErrorKind ClassifyUnitError(int32_t code) noexcept {
    for (const CodeRange& range : kCodeRanges)
        if (code >= range.first && code <= range.last)
            return range.kind;
    return UnitErrorKind::None;
}

bool HasUnitErrorTexts(int32_t code) noexcept {
    return code >= nxlang::kFirstUnitError && code <= nxlang::kLastUnitError;
}

uint16_t UnitErrorPrompt(int32_t code) noexcept {
    return code == 1 ? nxlang::Prompt::SetPointError : nxlang::Prompt::UnitError;
}

uint16_t UnitFaultRetryCommand(int32_t code, bool technicalAccess) noexcept {
    if (code == kCycleInterrupted)
        return kRestartCommand;
    if (code == kCancelledAtUnit)
        return kAcknowledgeCommand;
    return technicalAccess ? kAcknowledgeCommand : kRestartCommand;
}

const DataBlockSpec* DataBlockFor(int32_t code) noexcept {
    for (const DataBlockSpec& block : kDataBlocks)
        if (block.code == code)
            return &block;
    return nullptr;
}

BlockRestore RestoreDataBlock(unitlink::CJbus* link, Lockable& lock, unitlink::RestoreFileStore& files,
                              const std::string& path, const DataBlockSpec& block) {
    if (!link)
        return BlockRestore::WriteFailed;
    LockGuard guard(lock);
    if (!guard.owns())
        return BlockRestore::WriteFailed;
    const std::size_t end = block.fileOffset + block.size;
    const auto content = files.Read(path, end);
    BlockRestore result = BlockRestore::Restored;
    if (!content) {
        result = BlockRestore::FileMissing;
    } else if (content->size() < end) {
        // Part of a block, or zeros in place of the rest, would be worse than the damaged one.
        result = BlockRestore::FileTooShort;
    } else {
        const uint8_t* bytes = content->data() + block.fileOffset;
        bool written = false;
        switch (block.mask) {
        case unitlink::kCalibrationTableMask:
            written = WriteBlock(*link, bytes, &unitlink::CJbus::WriteCalibrationTable);
            break;
        case unitlink::kFactorySettingsMask:
            written = WriteBlock(*link, bytes, &unitlink::CJbus::WriteFactorySettings);
            break;
        case unitlink::kPreferencesMask:
            written = WriteBlock(*link, bytes, &unitlink::CJbus::WritePreferences);
            break;
        default:
            break;
        }
        if (!written)
            result = BlockRestore::WriteFailed;
    }
    const bool told = link->WriteCommand(BlockCommand(block, kBlockRewrittenCommand));
    const bool acknowledged = link->WriteCommand(BlockCommand(block, kAcknowledgeCommand));
    if (result == BlockRestore::Restored && !(told && acknowledged))
        result = BlockRestore::WriteFailed;
    return result;
}

bool RepeatedErrorFilter::ShouldHandle(int32_t code, uint64_t nowMs) noexcept {
    const bool persisting = code == m_code && nowMs >= m_lastSeenMs && nowMs - m_lastSeenMs <= kPersistMs;
    m_code = code;
    m_lastSeenMs = nowMs;
    return !(persisting && ClassifyUnitError(code) == UnitErrorKind::None);
}

} // namespace support
