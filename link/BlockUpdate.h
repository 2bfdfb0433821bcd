// Read-modify-write of the unit's data blocks: a block copy remembers whether it came from a good
// read, and only such a copy may be written back, so a failed read never overwrites the unit's own
// values with zeros. Every writer of a block goes through here.
#pragma once

#include "link/Jbus.h"
#include "support/Lockable.h"

#include <cstdint>
#include <functional>

namespace unitlink {

// Which register operations read and write each block.
template <typename Block>
struct BlockOperations;

template <>
struct BlockOperations<FactorySettingsBlock> {
    static bool Read(CJbus& l, FactorySettingsBlock* b) { return l.ReadFactorySettings(b); }
    static bool Write(CJbus& l, const FactorySettingsBlock* b) { return l.WriteFactorySettings(b); }
};
template <>
struct BlockOperations<CalibrationTable> {
    static bool Read(CJbus& l, CalibrationTable* b) { return l.ReadCalibrationTable(b); }
    static bool Write(CJbus& l, const CalibrationTable* b) { return l.WriteCalibrationTable(b); }
};
template <>
struct BlockOperations<PreferenceBlock> {
    static bool Read(CJbus& l, PreferenceBlock* b) { return l.ReadPreferences(b); }
    static bool Write(CJbus& l, const PreferenceBlock* b) { return l.WritePreferences(b); }
};

// The "blocks rewritten" command for a block mask.
constexpr uint16_t BlocksRewrittenCommand(uint8_t mask) noexcept { return static_cast<uint16_t>(mask << 8 | 0x81); }

// A copy of one block as last read from the unit. Dialogs that keep the block for their lifetime
// hold one of these; the link lock must be held around Read and WriteBack.
template <typename Block>
class UnitBlock {
public:
    // Replaces the copy with the unit's block (zeros when the read fails).
    bool Read(CJbus& link) {
        m_fromUnit = BlockOperations<Block>::Read(link, &m_block);
        return m_fromUnit;
    }
    // True when the copy holds what the unit reported.
    bool IsFromUnit() const noexcept { return m_fromUnit; }
    Block& block() noexcept { return m_block; }
    const Block& block() const noexcept { return m_block; }

    // Writes the whole block back; refused (no traffic, false) when the copy is not from a good read.
    bool WriteBack(CJbus& link) const {
        return m_fromUnit && BlockOperations<Block>::Write(link, &m_block);
    }

private:
    Block m_block{};
    bool m_fromUnit = false;
};

enum class BlockUpdateResult {
    Done,          // read, changed, written back, unit told
    ReadFailed,    // nothing written: the unit's block is untouched
    WriteFailed,   // the write-back failed; the unit was not told
    CommandFailed, // written, but the "blocks rewritten" command failed
};

// Under the link lock: read the block, let change() alter the fields it owns, write the whole block
// back, then send the "blocks rewritten" command for it. The restore file is the caller's to refresh.
template <typename Block>
BlockUpdateResult UpdateBlock(CJbus& link, support::Lockable& lock, const std::function<void(Block&)>& change) {
    support::LockGuard guard(lock);
    if (!guard.owns())
        return BlockUpdateResult::ReadFailed;
    UnitBlock<Block> copy;
    if (!copy.Read(link))
        return BlockUpdateResult::ReadFailed;
    if (change)
        change(copy.block());
    if (!copy.WriteBack(link))
        return BlockUpdateResult::WriteFailed;
    if (!link.WriteCommand(BlocksRewrittenCommand(Block::kMask)))
        return BlockUpdateResult::CommandFailed;
    return BlockUpdateResult::Done;
}

} // namespace unitlink
