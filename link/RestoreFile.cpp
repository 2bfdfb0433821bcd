// The restore file: snapshot and write-back.
#include "link/RestoreFile.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace unitlink {

namespace {

constexpr uint16_t kAllBlocksRewritten = 0x0081;

class StdPendingFile : public PendingFile {
public:
    StdPendingFile(std::filesystem::path target, std::filesystem::path temporary, std::ofstream stream)
        : m_target(std::move(target)), m_temporary(std::move(temporary)), m_stream(std::move(stream)) {}

    ~StdPendingFile() override {
        if (!m_committed) {
            m_stream.close();
            std::error_code ignored;
            std::filesystem::remove(m_temporary, ignored);
        }
    }

    bool Write(const void* data, std::size_t size) override {
        m_stream.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        return static_cast<bool>(m_stream);
    }

    bool Commit() override {
        m_stream.close();
        if (m_stream.fail())
            return false;
        std::error_code error;
        std::filesystem::rename(m_temporary, m_target, error);
        m_committed = !error;
        return m_committed;
    }

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    std::ofstream m_stream;
    bool m_committed = false;
};

std::optional<RestoreImage> LoadImage(RestoreFileStore& files, const std::string& path, RestoreResult& failure) {
    const auto content = files.Read(path, RestoreImage::kSize);
    if (!content) {
        failure = RestoreResult::FileMissing;
        return std::nullopt;
    }
    // A short file would put zeros or stale bytes into the unit's blocks.
    if (content->size() < RestoreImage::kSize) {
        failure = RestoreResult::FileTooShort;
        return std::nullopt;
    }
    RestoreImage image;
    std::memcpy(image.data(), content->data(), RestoreImage::kSize);
    return image;
}

} // namespace

std::unique_ptr<PendingFile> StdRestoreFileStore::BeginReplace(const std::string& path) {
    if (path.empty())
        return nullptr;
    std::filesystem::path target(path);
    std::filesystem::path temporary(path + ".tmp");
    std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
    if (!stream)
        return nullptr;
    return std::make_unique<StdPendingFile>(std::move(target), std::move(temporary), std::move(stream));
}

std::optional<std::vector<uint8_t>> StdRestoreFileStore::Read(const std::string& path, std::size_t maxBytes) {
    std::ifstream stream(std::filesystem::path(path), std::ios::binary);
    if (!stream)
        return std::nullopt;
    std::vector<uint8_t> content(maxBytes);
    stream.read(reinterpret_cast<char*>(content.data()), static_cast<std::streamsize>(maxBytes));
    content.resize(static_cast<std::size_t>(stream.gcount()));
    return content;
}

RestoreSaveResult SaveRestoreFile(CJbus* link, support::Lockable& lock, RestoreFileStore& files,
                                  const std::string& path) {
    // Without a data folder the path is empty: the replacement would land in the host's current folder.
    if (path.empty())
        return RestoreSaveResult::FileNotCreated;
    auto pending = files.BeginReplace(path);
    if (!pending)
        return RestoreSaveResult::FileNotCreated;

    RestoreImage image;
    bool allRead = false;
    if (link) {
        support::LockGuard guard(lock);
        if (!guard.owns())
            return RestoreSaveResult::UnitReadFailed;
        IdentificationBlock identification;
        FactorySettingsBlock factory;
        CalibrationTable calibration;
        PreferenceBlock preferences;
        // Every read is attempted, as the unit expects the same sequence each time.
        const bool a = link->ReadIdentification(&identification);
        const bool b = link->ReadFactorySettings(&factory);
        const bool c = link->ReadCalibrationTable(&calibration);
        const bool d = link->ReadPreferences(&preferences);
        allRead = a && b && c && d;
        image.Place(RestoreImage::kIdentificationOffset, identification);
        image.Place(RestoreImage::kFactorySettingsOffset, factory);
        image.Place(RestoreImage::kCalibrationTableOffset, calibration);
        image.Place(RestoreImage::kPreferencesOffset, preferences);
    }
    // Zeroed blocks from a failed read must not replace a good earlier copy.
    if (!allRead)
        return RestoreSaveResult::UnitReadFailed;
    if (!pending->Write(image.data(), RestoreImage::kSize) || !pending->Commit())
        return RestoreSaveResult::FileNotCreated;
    return RestoreSaveResult::Saved;
}

RestoreResult RestoreUnitBlocks(CJbus* link, support::Lockable& lock, RestoreFileStore& files,
                                const std::string& path) {
    RestoreResult failure = RestoreResult::FileMissing;
    const auto image = LoadImage(files, path, failure);
    if (!image)
        return failure;
    if (!link)
        return RestoreResult::UnitWriteFailed;

    support::LockGuard guard(lock);
    if (!guard.owns())
        return RestoreResult::UnitWriteFailed;
    const FactorySettingsBlock factory = image->FactorySettings();
    const CalibrationTable calibration = image->Calibration();
    const PreferenceBlock preferences = image->Preferences();
    const bool a = link->WriteFactorySettings(&factory);
    const bool b = link->WriteCalibrationTable(&calibration);
    const bool c = link->WritePreferences(&preferences);
    const bool d = link->WriteCommand(kAllBlocksRewritten);
    return (a && b && c && d) ? RestoreResult::Restored : RestoreResult::UnitWriteFailed;
}

RestoreResult RestoreUnitBlock(CJbus* link, support::Lockable& lock, RestoreFileStore& files,
                               const std::string& path, uint8_t blockMask) {
    RestoreResult failure = RestoreResult::FileMissing;
    const auto image = LoadImage(files, path, failure);
    if (!image)
        return failure;
    if (!link)
        return RestoreResult::UnitWriteFailed;

    support::LockGuard guard(lock);
    if (!guard.owns())
        return RestoreResult::UnitWriteFailed;
    bool ok = false;
    switch (blockMask) {
    case kCalibrationTableMask: {
        const CalibrationTable block = image->Calibration();
        ok = link->WriteCalibrationTable(&block);
        break;
    }
    case kFactorySettingsMask: {
        const FactorySettingsBlock block = image->FactorySettings();
        ok = link->WriteFactorySettings(&block);
        break;
    }
    case kPreferencesMask: {
        const PreferenceBlock block = image->Preferences();
        ok = link->WritePreferences(&block);
        break;
    }
    default:
        break;
    }
    return ok ? RestoreResult::Restored : RestoreResult::UnitWriteFailed;
}

} // namespace unitlink
