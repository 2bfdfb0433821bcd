// The unit error codes as the error processing sees them: what each latched value calls for, the
// command a retry sends, the data blocks that can be rewritten from the restore file, and the filter
// that keeps a persisting error from being handled on every poll.
#pragma once

#include "link/Jbus.h"
#include "link/RestoreFile.h"
#include "support/Lockable.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace support {

enum class UnitErrorKind {
    None,                 // only logged, shown and spoken
    SetPoint,             // 1: set-point dialog, then the selection check
    SetPointTable,        // 55: set-point dialog, then the selection is read again
    UnitFault,            // Retry/Cancel box
    DataBlock,            // 54, 56, 57: block error dialog
    CommunicationFailure, // a bus result + 100: the bus is closed and the panel with it
    SecurityTimeOut,      // 201
    AcquisitionFailed,    // 202
};

// Any value at all, unknown ones included, has a kind.
UnitErrorKind ClassifyUnitError(int32_t code) noexcept;

// Codes 1 to 99 have their own line on the unit's display and text on the panel.
bool HasUnitErrorTexts(int32_t code) noexcept;

// The voice prompt that goes with an error.
uint16_t UnitErrorPrompt(int32_t code) noexcept;

// Command words of the error dialogs (low byte the command, high byte its value).
inline constexpr uint16_t kAcknowledgeCommand = 0x000B;
inline constexpr uint16_t kRestartCommand = 0x0080;
inline constexpr uint16_t kReinitialiseCommand = 0x0082;
inline constexpr uint16_t kBlockRewrittenCommand = 0x0081;
inline constexpr uint8_t kPanelInactiveCommand = 0x86;

// The command of Retry after a unit fault: restart, or acknowledge while the technical menu is
// granted; 59 always restarts and 61 always acknowledges.
uint16_t UnitFaultRetryCommand(int32_t code, bool technicalAccess) noexcept;

// A data block of the unit and where its copy lies in the restore file.
struct DataBlockSpec {
    int32_t code;
    uint8_t mask;
    std::size_t fileOffset;
    std::size_t size;
    uint16_t infoText;
};

// The block of a data-block error; null for any other code.
const DataBlockSpec* DataBlockFor(int32_t code) noexcept;

// (mask << 8) | command: the block-rewritten and acknowledge words of one block.
constexpr uint16_t BlockCommand(const DataBlockSpec& block, uint16_t command) noexcept {
    return static_cast<uint16_t>(block.mask << 8 | (command & 0xFF));
}

enum class BlockRestore {
    Restored,
    FileMissing,  // the block was not written
    FileTooShort, // the file ends before the block does: the block was not written
    WriteFailed,  // the block or a command was refused (the transport latched it)
};

// Under the lock: the block from the restore file when the file holds it whole, then the
// block-rewritten and acknowledge commands, sent whatever became of the block.
BlockRestore RestoreDataBlock(unitlink::CJbus* link, Lockable& lock, unitlink::RestoreFileStore& files,
                              const std::string& path, const DataBlockSpec& block);

// A unit error that persists is latched again on every poll. A code that only logs and speaks is
// handled once while it keeps coming back; seen again after a pause, it is handled anew.
class RepeatedErrorFilter {
public:
    // Five polling periods: a code absent that long has cleared in between.
    static constexpr uint64_t kPersistMs = 1000;

    // True when code must be handled; every call counts as a sighting.
    bool ShouldHandle(int32_t code, uint64_t nowMs) noexcept;

private:
    int32_t m_code = 0;
    uint64_t m_lastSeenMs = 0;
};

} // namespace support
