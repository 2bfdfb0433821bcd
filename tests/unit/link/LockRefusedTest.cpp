// A link lock that cannot be taken: each guarded sequence is skipped and reported as failed, the
// unit sees no request, the log no line, and nothing is released that was not taken.
#include "FakeBus.h"
#include "link/BlockUpdate.h"
#include "link/JbusV1.h"
#include "link/RestoreFile.h"
#include "support/EventLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <unistd.h>

using namespace unitlink;

namespace {

class RefusingLock : public support::Lockable {
public:
    bool Lock(unsigned = 1) override { return false; }
    bool Unlock() override {
        ++unlocks;
        return false;
    }
    int unlocks = 0;
};

TEST(LockRefused, GuardedSequencesFailWithoutTouchingTheUnitOrTheLog) {
    linktest::FakeBus bus;
    ErrorLatch latch;
    CJbusV1 link{bus.Api(), latch};
    link.Open("COM1", 0);
    StdRestoreFileStore files;
    const auto dir =
        std::filesystem::temp_directory_path() / ("link-lock-refused-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string saved = (dir / "restore.dat").string();
    const std::string log = (dir / "log.csv").string();
    {
        linktest::MemoryLock working;
        ASSERT_EQ(SaveRestoreFile(&link, working, files, saved), RestoreSaveResult::Saved);
    }
    bus.calls.clear();

    RefusingLock lock;
    support::EventLog events(
        lock, [&] { return log; }, [] { return support::LogTime{}; });
    const struct {
        const char* name;
        std::function<bool()> failed;
    } cases[] = {
        {"block update",
         [&] { return UpdateBlock<PreferenceBlock>(link, lock, {}) == BlockUpdateResult::ReadFailed; }},
        {"restore file snapshot",
         [&] {
             return SaveRestoreFile(&link, lock, files, (dir / "other.dat").string()) ==
                    RestoreSaveResult::UnitReadFailed;
         }},
        {"restore of all blocks",
         [&] { return RestoreUnitBlocks(&link, lock, files, saved) == RestoreResult::UnitWriteFailed; }},
        {"restore of one block",
         [&] {
             return RestoreUnitBlock(&link, lock, files, saved, kCalibrationTableMask) ==
                    RestoreResult::UnitWriteFailed;
         }},
        {"log entry",
         [&] {
             events.WriteLogEntry(support::kLogLevelError, "lost", "Test", 1);
             return !std::filesystem::exists(log);
         }},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(c.failed()) << c.name;
        EXPECT_TRUE(bus.calls.empty()) << c.name << ": the unit saw requests without the lock";
        bus.calls.clear();
    }
    EXPECT_EQ(lock.unlocks, 0) << "a lock never taken was released";
    std::filesystem::remove_all(dir);
}

} // namespace
