// The restore file: its 182 bytes, the snapshot that never replaces a good copy with a failed one,
// and the write-back that refuses short files.
#include "FakeBus.h"
#include "link/JbusV1.h"
#include "link/RestoreFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

using namespace unitlink;
using linktest::BusCall;
using linktest::FakeBus;
using linktest::MemoryLock;

namespace {

constexpr uint16_t Reg(uint16_t off) { return static_cast<uint16_t>(0x7000 + off / 2); }

struct RestoreFile : ::testing::Test {
    FakeBus bus;
    ErrorLatch latch;
    MemoryLock lock;
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
        // Each block's registers hold a recognisable pattern: the block number in the high byte.
        FillRegisters(Reg(0), 15, 0x1100);
        FillRegisters(Reg(130), 16, 0x2200);
        FillRegisters(Reg(162), 40, 0x3300);
        FillRegisters(Reg(242), 20, 0x4400);
        bus.calls.clear();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void FillRegisters(uint16_t word, uint16_t count, uint16_t base) {
        for (uint16_t i = 0; i < count; ++i)
            bus.registers[static_cast<uint16_t>(word + i)] = static_cast<uint16_t>(base + i);
    }
    std::vector<uint8_t> FileBytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void WriteFile(const std::vector<uint8_t>& bytes) const {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static uint16_t WordAt(const std::vector<uint8_t>& b, std::size_t off) {
        return static_cast<uint16_t>(b.at(off) | b.at(off + 1) << 8);
    }
};

TEST_F(RestoreFile, SnapshotHoldsTheFourBlocksIn182Bytes) {
    EXPECT_EQ(SaveRestoreFile(&link, lock, files, path), RestoreSaveResult::Saved);
    const auto bytes = FileBytes();
    ASSERT_EQ(bytes.size(), 182u);
    // Each block's first and last word, back to back.
    const std::pair<std::size_t, uint16_t> words[] = {{0, 0x1100},  {28, 0x110E},  {30, 0x2200},  {60, 0x220F},
                                                      {62, 0x3300}, {140, 0x3327}, {142, 0x4400}, {180, 0x4413}};
    for (const auto& [offset, word] : words)
        EXPECT_EQ(WordAt(bytes, offset), word) << offset;
    EXPECT_EQ(lock.depth(), 0);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(RestoreFile, FailedReadKeepsTheEarlierCopy) {
    ASSERT_EQ(SaveRestoreFile(&link, lock, files, path), RestoreSaveResult::Saved);
    const auto good = FileBytes();
    FillRegisters(Reg(130), 16, 0x5500);
    bus.failAt[Reg(162)] = 12; // the calibration table does not answer
    bus.calls.clear();
    EXPECT_EQ(SaveRestoreFile(&link, lock, files, path), RestoreSaveResult::UnitReadFailed);
    EXPECT_EQ(FileBytes(), good);
    EXPECT_EQ(bus.Transfers().size(), 4u) << "every block is still asked for";
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    // Without a link there is nothing to save either.
    EXPECT_EQ(SaveRestoreFile(nullptr, lock, files, path), RestoreSaveResult::UnitReadFailed);
    EXPECT_EQ(FileBytes(), good);
}

TEST_F(RestoreFile, WriteBackRestoresTheThreeBlocksThenTellsTheUnit) {
    std::vector<uint8_t> image(182);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i);
    WriteFile(image);
    EXPECT_EQ(RestoreUnitBlocks(&link, lock, files, path), RestoreResult::Restored);
    const auto writes = bus.Transfers();
    ASSERT_EQ(writes.size(), 4u) << "the identification is never written";
    const uint16_t blocks[3][3] = {{Reg(130), 30, 60}, {Reg(162), 62, 140}, {Reg(242), 142, 180}};
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(writes[b].address, blocks[b][0]);
        EXPECT_EQ(writes[b].words.front(), blocks[b][1] | (blocks[b][1] + 1) << 8);
        EXPECT_EQ(writes[b].words.back(), blocks[b][2] | (blocks[b][2] + 1) << 8);
    }
    EXPECT_EQ(writes[3].kind, BusCall::WriteOne);
    EXPECT_EQ(writes[3].words, std::vector<uint16_t>{0x0081});
    EXPECT_EQ(lock.depth(), 0);
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
    EXPECT_EQ(RestoreUnitBlocks(&link, lock, files, path), RestoreResult::FileMissing);
    WriteFile(std::vector<uint8_t>(181, 0x42));
    EXPECT_EQ(RestoreUnitBlocks(&link, lock, files, path), RestoreResult::FileTooShort);
    EXPECT_EQ(RestoreUnitBlock(&link, lock, files, path, kPreferencesMask), RestoreResult::FileTooShort);
    EXPECT_TRUE(bus.calls.empty());
}

TEST_F(RestoreFile, SingleBlockWriteBackAndItsFailures) {
    std::vector<uint8_t> image(182, 0);
    image[62] = 0x99;
    WriteFile(image);
    EXPECT_EQ(RestoreUnitBlock(&link, lock, files, path, kCalibrationTableMask), RestoreResult::Restored);
    ASSERT_EQ(bus.Transfers().size(), 1u) << "the caller sends its own commands";
    EXPECT_EQ(bus.calls.back().address, Reg(162));
    EXPECT_EQ(bus.calls.back().words.front(), 0x0099);

    bus.failWrites = 4;
    EXPECT_EQ(RestoreUnitBlocks(&link, lock, files, path), RestoreResult::UnitWriteFailed);
    EXPECT_EQ(latch.GetLatchedError(), 104);
    EXPECT_EQ(RestoreUnitBlock(&link, lock, files, path, 0x08), RestoreResult::UnitWriteFailed);
}

} // namespace
