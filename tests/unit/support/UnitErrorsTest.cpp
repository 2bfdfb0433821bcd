// Unit error codes: the kind of every value, the retry command, and the block write-back that never
// puts part of a block into the unit.
#include "../link/FakeBus.h"
#include "link/JbusV1.h"
#include "support/UnitErrors.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include <unistd.h>

using support::UnitErrorKind;

namespace {

TEST(UnitErrorCodes, EveryValueHasItsKind) {
    struct Row {
        int32_t code;
        UnitErrorKind kind;
    };
    const Row rows[] = {
        {INT_MIN, UnitErrorKind::None},
        {-1, UnitErrorKind::None},
        {0, UnitErrorKind::None},
        {1, UnitErrorKind::SetPoint},
        {2, UnitErrorKind::UnitFault},
        {27, UnitErrorKind::UnitFault},
        {28, UnitErrorKind::None},
        {49, UnitErrorKind::None},
        {50, UnitErrorKind::UnitFault},
        {53, UnitErrorKind::UnitFault},
        {54, UnitErrorKind::DataBlock},
        {55, UnitErrorKind::SetPointTable},
        {56, UnitErrorKind::DataBlock},
        {57, UnitErrorKind::DataBlock},
        {58, UnitErrorKind::UnitFault},
        {61, UnitErrorKind::UnitFault},
        {62, UnitErrorKind::None},
        {100, UnitErrorKind::None},
        {101, UnitErrorKind::CommunicationFailure},
        {105, UnitErrorKind::CommunicationFailure},
        {106, UnitErrorKind::None},
        {107, UnitErrorKind::CommunicationFailure},
        {114, UnitErrorKind::CommunicationFailure},
        {115, UnitErrorKind::None},
        {200, UnitErrorKind::None},
        {201, UnitErrorKind::SecurityTimeOut},
        {202, UnitErrorKind::AcquisitionFailed},
        {203, UnitErrorKind::None},
        {INT_MAX, UnitErrorKind::None},
    };
    for (const Row& row : rows)
        EXPECT_EQ(support::ClassifyUnitError(row.code), row.kind) << "code " << row.code;
}

TEST(UnitErrorCodes, TextsPromptsAndRetryCommands) {
    EXPECT_FALSE(support::HasUnitErrorTexts(0));
    EXPECT_TRUE(support::HasUnitErrorTexts(1));
    EXPECT_TRUE(support::HasUnitErrorTexts(99));
    EXPECT_FALSE(support::HasUnitErrorTexts(100));
    EXPECT_EQ(support::UnitErrorPrompt(1), 4020);
    EXPECT_EQ(support::UnitErrorPrompt(2), 4035);
    EXPECT_EQ(support::UnitErrorPrompt(114), 4035);

    // code, technical access, command
    const int rows[][3] = {{2, 0, 0x0080},  {2, 1, 0x000B},  {59, 0, 0x0080}, {59, 1, 0x0080},
                           {61, 0, 0x000B}, {61, 1, 0x000B}, {60, 1, 0x000B}};
    for (const auto& row : rows)
        EXPECT_EQ(support::UnitFaultRetryCommand(row[0], row[1] != 0), row[2]) << "code " << row[0];
}

TEST(UnitErrorCodes, PersistingCodeWithoutDialogIsHandledOnceUntilItPauses) {
    support::RepeatedErrorFilter filter;
    EXPECT_TRUE(filter.ShouldHandle(30, 0));
    EXPECT_FALSE(filter.ShouldHandle(30, 200));
    EXPECT_FALSE(filter.ShouldHandle(30, 1200)) << "each sighting extends the run";
    EXPECT_TRUE(filter.ShouldHandle(31, 1400)) << "a new code";
    EXPECT_TRUE(filter.ShouldHandle(31, 3000)) << "back after a pause";
    // A code with a dialog is asked about every time it comes back.
    EXPECT_TRUE(filter.ShouldHandle(2, 3200));
    EXPECT_TRUE(filter.ShouldHandle(2, 3400));
    // A clock that went back never hides a code.
    EXPECT_TRUE(filter.ShouldHandle(106, 5000));
    EXPECT_TRUE(filter.ShouldHandle(106, 100));
}

constexpr uint16_t Reg(uint16_t off) {
    return static_cast<uint16_t>(0x7000 + off / 2);
}

struct BlockWriteBack : ::testing::Test {
    linktest::FakeBus bus;
    unitlink::ErrorLatch latch;
    linktest::MemoryLock lock;
    unitlink::CJbusV1 link{bus.Api(), latch};
    unitlink::StdRestoreFileStore files;
    std::filesystem::path path;

    void SetUp() override {
        path = std::filesystem::temp_directory_path() /
               ("unit-errors-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat");
        link.Open("COM1", 0);
        bus.calls.clear();
    }
    void TearDown() override { std::filesystem::remove(path); }
    void WriteFile(std::size_t size) const {
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i)
            out.put(static_cast<char>(i));
    }
    std::vector<uint16_t> Commands() const {
        std::vector<uint16_t> words;
        for (const auto& call : bus.Transfers())
            if (call.address == Reg(128))
                words.push_back(call.words.front());
        return words;
    }
};

TEST_F(BlockWriteBack, EachBlockFromItsOffsetThenItsTwoCommands) {
    WriteFile(182);
    struct Row {
        int32_t code;
        uint16_t address, firstWord, lastWord, count, rewritten, acknowledge;
    };
    const Row rows[] = {
        {54, Reg(162), 62 | 63 << 8, 140 | 141 << 8, 40, 0x0181, 0x010B},
        {56, Reg(130), 30 | 31 << 8, 60 | 61 << 8, 16, 0x0281, 0x020B},
        {57, Reg(242), 142 | 143 << 8, 180 | 181 << 8, 20, 0x0481, 0x040B},
    };
    for (const Row& row : rows) {
        bus.calls.clear();
        const support::DataBlockSpec* block = support::DataBlockFor(row.code);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(support::RestoreDataBlock(&link, lock, files, path.string(), *block),
                  support::BlockRestore::Restored);
        const auto writes = bus.Transfers();
        ASSERT_EQ(writes.size(), 3u) << "code " << row.code;
        EXPECT_EQ(writes[0].address, row.address);
        EXPECT_EQ(writes[0].count, row.count);
        EXPECT_EQ(writes[0].words.front(), row.firstWord);
        EXPECT_EQ(writes[0].words.back(), row.lastWord);
        EXPECT_EQ(Commands(), (std::vector<uint16_t>{row.rewritten, row.acknowledge}));
        EXPECT_EQ(lock.depth(), 0);
    }
    EXPECT_EQ(support::DataBlockFor(55), nullptr);
    EXPECT_EQ(support::DataBlockFor(0), nullptr);
}

TEST_F(BlockWriteBack, FileEndingBeforeTheBlockWritesNoBlockButStillTellsTheUnit) {
    const support::DataBlockSpec& factory = *support::DataBlockFor(56);
    const support::DataBlockSpec& preferences = *support::DataBlockFor(57);
    EXPECT_EQ(support::RestoreDataBlock(&link, lock, files, path.string(), factory),
              support::BlockRestore::FileMissing);
    EXPECT_EQ(Commands(), (std::vector<uint16_t>{0x0281, 0x020B}));
    EXPECT_EQ(bus.Transfers().size(), 2u);

    // 62 bytes hold the factory settings whole, but only part of the preferences.
    WriteFile(62);
    bus.calls.clear();
    EXPECT_EQ(support::RestoreDataBlock(&link, lock, files, path.string(), preferences),
              support::BlockRestore::FileTooShort);
    EXPECT_EQ(Commands(), (std::vector<uint16_t>{0x0481, 0x040B}));
    EXPECT_EQ(bus.Transfers().size(), 2u);
    bus.calls.clear();
    EXPECT_EQ(support::RestoreDataBlock(&link, lock, files, path.string(), factory),
              support::BlockRestore::Restored);
    EXPECT_EQ(bus.Transfers().size(), 3u);
}

TEST_F(BlockWriteBack, RefusedWriteIsReportedAndNothingWithoutALink) {
    WriteFile(182);
    bus.failWrites = 2;
    EXPECT_EQ(support::RestoreDataBlock(&link, lock, files, path.string(), *support::DataBlockFor(54)),
              support::BlockRestore::WriteFailed);
    EXPECT_EQ(Commands().size(), 2u) << "the commands are still sent";
    EXPECT_EQ(latch.GetLatchedError(), 102);
    EXPECT_EQ(support::RestoreDataBlock(nullptr, lock, files, path.string(), *support::DataBlockFor(54)),
              support::BlockRestore::WriteFailed);
    EXPECT_EQ(lock.depth(), 0);
}

} // namespace
