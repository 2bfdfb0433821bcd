// Unit error codes: the kind of every value, the retry command, the repeat filter, and the block
// write-back that never puts part of a block into the unit.
#include "../link/FakeBus.h"
#include "link/JbusV1.h"
#include "support/UnitErrors.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include <unistd.h>

using linktest::Reg;
using support::UnitErrorKind;

namespace {

TEST(UnitErrorCodes, EveryValueHasItsKindAndRetryCommand) {
    using K = UnitErrorKind;
    // Boundaries of every range.
    const std::pair<int32_t, K> kinds[] = {
        {INT_MIN, K::None}, {1, K::SetPoint}, {27, K::UnitFault}, {28, K::None}, {50, K::UnitFault},
        {54, K::DataBlock}, {55, K::SetPointTable}, {61, K::UnitFault}, {62, K::None},
        {101, K::CommunicationFailure}, {106, K::None}, {114, K::CommunicationFailure}, {115, K::None},
        {201, K::SecurityTimeOut}, {202, K::AcquisitionFailed}, {203, K::None},
    };
    for (const auto& [code, kind] : kinds)
        EXPECT_EQ(support::ClassifyUnitError(code), kind) << "code " << code;

    // code, technical access, command
    const int retries[][3] = {{2, 0, 0x0080}, {2, 1, 0x000B}, {59, 1, 0x0080}, {61, 0, 0x000B}};
    for (const auto& row : retries)
        EXPECT_EQ(support::UnitFaultRetryCommand(row[0], row[1] != 0), row[2]) << "code " << row[0];
}

TEST(UnitErrorCodes, PersistingCodeWithoutDialogIsHandledOnceUntilItPauses) {
    support::RepeatedErrorFilter filter;
    // code, time, handled
    const int64_t rows[][3] = {{30, 0, 1}, {30, 200, 0}, {30, 1200, 0} /* each sighting extends */,
                               {31, 1400, 1}, {31, 3000, 1} /* back after a pause */,
                               {2, 3200, 1}, {2, 3400, 1} /* a dialog asks every time */,
                               {106, 5000, 1}, {106, 100, 1} /* a clock gone back hides nothing */};
    for (const auto& row : rows)
        EXPECT_EQ(filter.ShouldHandle(static_cast<int32_t>(row[0]), static_cast<uint64_t>(row[1])),
                  row[2] != 0)
            << row[0] << " at " << row[1];
}

TEST(UnitErrorCodes, BlockFromItsOffsetOnlyWhenTheFileHoldsItWholeThenItsTwoCommands) {
    linktest::FakeBus bus;
    unitlink::ErrorLatch latch;
    linktest::MemoryLock lock;
    unitlink::CJbusV1 link{bus.Api(), latch};
    unitlink::StdRestoreFileStore files;
    link.Open("COM1", 0);
    const std::string path =
        (std::filesystem::temp_directory_path() / ("unit-errors-" + std::to_string(::getpid()) + ".dat"))
            .string();
    struct Row {
        int32_t code;
        std::size_t fileBytes; // 0: no file
        support::BlockRestore result;
        uint16_t address, firstWord, lastWord, rewritten, acknowledge;
    };
    const Row rows[] = {
        {54, 182, support::BlockRestore::Restored, Reg(162), 62 | 63 << 8, 140 | 141 << 8, 0x0181, 0x010B},
        {57, 182, support::BlockRestore::Restored, Reg(242), 142 | 143 << 8, 180 | 181 << 8, 0x0481, 0x040B},
        {56, 62, support::BlockRestore::Restored, Reg(130), 30 | 31 << 8, 60 | 61 << 8, 0x0281, 0x020B},
        {57, 181, support::BlockRestore::FileTooShort, 0, 0, 0, 0x0481, 0x040B},
        {54, 0, support::BlockRestore::FileMissing, 0, 0, 0, 0x0181, 0x010B},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(path);
        if (row.fileBytes) {
            std::ofstream out(path, std::ios::binary);
            for (std::size_t i = 0; i < row.fileBytes; ++i)
                out.put(static_cast<char>(i));
        }
        bus.calls.clear();
        EXPECT_EQ(support::RestoreDataBlock(&link, lock, files, path, *support::DataBlockFor(row.code)),
                  row.result);
        auto writes = bus.Transfers();
        ASSERT_EQ(writes.size(), row.address ? 3u : 2u) << row.code << " from " << row.fileBytes;
        if (row.address) {
            EXPECT_EQ(writes[0].address, row.address);
            EXPECT_EQ(writes[0].words.front(), row.firstWord);
            EXPECT_EQ(writes[0].words.back(), row.lastWord);
            writes.erase(writes.begin());
        }
        EXPECT_EQ(writes[0].words, std::vector<uint16_t>{row.rewritten});
        EXPECT_EQ(writes[1].words, std::vector<uint16_t>{row.acknowledge});
        EXPECT_EQ(lock.depth(), 0);
    }
    std::filesystem::remove(path);
    EXPECT_EQ(support::DataBlockFor(55), nullptr);
}

} // namespace
