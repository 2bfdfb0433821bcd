// The restore file: the write-back that puts its blocks back in their places and refuses short files,
// and a snapshot that never lands outside the data folder.
#include "FakeBus.h"
#include "link/JbusV1.h"
#include "link/RestoreFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace unitlink;
using linktest::BusCall;
using linktest::Reg;

namespace {

struct RestoreFile : ::testing::Test {
    linktest::FakeBus bus;
    ErrorLatch latch;
    linktest::MemoryLock lock;
    CJbusV1 link{bus.Api(), latch};
    StdRestoreFileStore files;
    std::filesystem::path dir;
    std::string path;

    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("link-restore-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        path = (dir / "restoreHalvexPan.dat").string();
        link.Open("COM1", 0);
        bus.calls.clear();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // A file whose every byte is its own offset (mod 256), or `fill` when given.
    void WriteFile(std::size_t size, int fill = -1) const {
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i)
            out.put(static_cast<char>(fill < 0 ? i : fill));
    }
};

TEST_F(RestoreFile, WriteBackRestoresTheThreeBlocksThenTellsTheUnit) {
    WriteFile(182);
    EXPECT_EQ(RestoreUnitBlocks(&link, lock, files, path), RestoreResult::Restored);
    const auto writes = bus.Transfers();
    ASSERT_EQ(writes.size(), 4u) << "the identification is never written";
    const uint16_t blocks[3][3] = {{Reg(130), 30, 60}, {Reg(162), 62, 140}, {Reg(242), 142, 180}};
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(writes[b].address, blocks[b][0]);
        EXPECT_EQ(writes[b].words.front(), blocks[b][1] | (blocks[b][1] + 1) << 8);
        EXPECT_EQ(writes[b].words.back(), blocks[b][2] | (blocks[b][2] + 1) << 8);
    }
    EXPECT_EQ(writes[3].words, std::vector<uint16_t>{0x0081});
    EXPECT_EQ(lock.depth(), 0);

    // One block alone: the caller sends its own commands.
    bus.calls.clear();
    EXPECT_EQ(RestoreUnitBlock(&link, lock, files, path, kCalibrationTableMask), RestoreResult::Restored);
    ASSERT_EQ(bus.Transfers().size(), 1u);
    EXPECT_EQ(bus.calls.back().address, Reg(162));

    bus.failWrites = 4;
    EXPECT_EQ(RestoreUnitBlocks(&link, lock, files, path), RestoreResult::UnitWriteFailed);
    EXPECT_EQ(latch.GetLatchedError(), 104);
    EXPECT_EQ(RestoreUnitBlock(&link, lock, files, path, 0x08), RestoreResult::UnitWriteFailed);
}

TEST_F(RestoreFile, UncreatableShortOrMissingFileLeavesTheUnitAlone) {
    const std::string nowhere = (dir / "missing-folder" / "restoreHalvexPan.dat").string();
    EXPECT_EQ(SaveRestoreFile(&link, lock, files, nowhere), RestoreSaveResult::FileNotCreated);
    // No data folder: nothing may appear in the current folder.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    EXPECT_EQ(SaveRestoreFile(&link, lock, files, ""), RestoreSaveResult::FileNotCreated);
    EXPECT_EQ(files.BeginReplace(""), nullptr);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    EXPECT_EQ(SaveRestoreFile(nullptr, lock, files, path), RestoreSaveResult::UnitReadFailed);
    EXPECT_EQ(RestoreUnitBlocks(&link, lock, files, path), RestoreResult::FileMissing);
    WriteFile(181, 0x42);
    EXPECT_EQ(RestoreUnitBlocks(&link, lock, files, path), RestoreResult::FileTooShort);
    EXPECT_EQ(RestoreUnitBlock(&link, lock, files, path, kPreferencesMask), RestoreResult::FileTooShort);
    EXPECT_EQ(bus.CountOf(BusCall::WriteSeveral) + bus.CountOf(BusCall::WriteOne), 0);
}

} // namespace
