// The restore file "restoreHalvexPan.dat": a 182-byte copy of the unit's identification and data
// blocks, the snapshot that writes it, and the write-back of its blocks into the unit.
#pragma once

#include "link/Jbus.h"
#include "support/Lockable.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace unitlink {

// The four blocks back to back, without header or checksum.
struct RestoreImage : ByteRecord<182> {
    static constexpr std::size_t kIdentificationOffset = 0;
    static constexpr std::size_t kFactorySettingsOffset = 30;
    static constexpr std::size_t kCalibrationTableOffset = 62;
    static constexpr std::size_t kPreferencesOffset = 142;

    IdentificationBlock Identification() const { return Extract<IdentificationBlock>(kIdentificationOffset); }
    FactorySettingsBlock FactorySettings() const { return Extract<FactorySettingsBlock>(kFactorySettingsOffset); }
    CalibrationTable Calibration() const { return Extract<CalibrationTable>(kCalibrationTableOffset); }
    PreferenceBlock Preferences() const { return Extract<PreferenceBlock>(kPreferencesOffset); }

    template <typename Block>
    void Place(std::size_t offset, const Block& block) {
        std::memcpy(bytes.data() + offset, block.data(), Block::kSize);
    }

private:
    template <typename Block>
    Block Extract(std::size_t offset) const {
        Block block;
        std::memcpy(block.data(), bytes.data() + offset, Block::kSize);
        return block;
    }
};

// A replacement of a file being written: it takes the file's place only on Commit; dropped without
// Commit, it leaves the earlier file as it was.
class PendingFile {
public:
    virtual ~PendingFile() = default;
    virtual bool Write(const void* data, std::size_t size) = 0;
    virtual bool Commit() = 0;
};

// The file services the restore file needs.
class RestoreFileStore {
public:
    virtual ~RestoreFileStore() = default;
    // Starts a replacement of path; null when it cannot be created.
    virtual std::unique_ptr<PendingFile> BeginReplace(const std::string& path) = 0;
    // At most maxBytes from the start of path; nothing when it cannot be opened.
    virtual std::optional<std::vector<uint8_t>> Read(const std::string& path, std::size_t maxBytes) = 0;
};

// The standard library's files: a temporary file beside the target, renamed over it on Commit.
class StdRestoreFileStore : public RestoreFileStore {
public:
    std::unique_ptr<PendingFile> BeginReplace(const std::string& path) override;
    std::optional<std::vector<uint8_t>> Read(const std::string& path, std::size_t maxBytes) override;
};

enum class RestoreSaveResult {
    Saved,
    FileNotCreated, // nothing read from the unit
    UnitReadFailed, // the earlier file, if any, is kept
};

// Reads the four blocks under the link lock and replaces the file only when every read succeeded.
// An empty path (no data folder) is refused before anything is created or read.
RestoreSaveResult SaveRestoreFile(CJbus* link, support::Lockable& lock, RestoreFileStore& files,
                                  const std::string& path);

enum class RestoreResult {
    Restored,
    FileMissing,    // the file cannot be opened: the unit is not touched
    FileTooShort,   // under 182 bytes: the unit is not touched
    UnitWriteFailed // at least one write failed (the transport latched it)
};

// The whole write-back: factory settings, calibration table and preferences from the file, then the
// "all blocks rewritten" command, under the link lock. The identification is never written.
RestoreResult RestoreUnitBlocks(CJbus* link, support::Lockable& lock, RestoreFileStore& files,
                                const std::string& path);

// One block (named by its mask) from the file into the unit, under the link lock; no command is sent.
RestoreResult RestoreUnitBlock(CJbus* link, support::Lockable& lock, RestoreFileStore& files,
                               const std::string& path, uint8_t blockMask);

} // namespace unitlink
