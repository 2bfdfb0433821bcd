// Log entry format, newest-first discipline with the cap, tag and error reports.
#include "support/EventLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

class MemoryLock : public support::Lockable {
public:
    bool Lock(unsigned) override {
        m_mutex.lock();
        ++depth;
        return true;
    }
    bool Unlock() override {
        --depth;
        m_mutex.unlock();
        return true;
    }
    int depth = 0;

private:
    std::recursive_mutex m_mutex;
};

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("lumen-log-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        path = dir / "HalvexPan.csv";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    support::EventLog MakeLog() {
        return support::EventLog(lock, [this] { return path.string(); },
                                 [] { return support::LogTime{5, 3, 2026, 9, 7}; });
    }

    std::filesystem::path dir, path;
    MemoryLock lock;
};

TEST(EventLogFormat, MatchesTheHostsCsvLine) {
    EXPECT_EQ(support::FormatLogEntry(1, "LUMEN70", "Register base read failed", {5, 3, 2026, 9, 7},
                                      "CLumen70App::OpenCommPort", 952),
              "1:[LUMEN70];Register base read failed;05/03/2026 09h07min;CLumen70App::OpenCommPort:952\r\n");
    EXPECT_EQ(support::ErrorNumberMessage(3), "Error n\xB0" "403");
    // Low 16 bits taken as signed: 0x1FFFF is -1.
    EXPECT_EQ(support::ErrorNumberMessage(0x1FFFF), "Error n\xB0" "399");
}

TEST(EventLogFormat, ComposeCapsTheOlderPart) {
    std::string older(support::kLogOlderPartCap + 500, 'x');
    older[support::kLogOlderPartCap - 1] = 'L';
    std::string content = support::ComposeLogContent("new\r\n", older);
    ASSERT_EQ(content.size(), 5 + support::kLogOlderPartCap);
    EXPECT_EQ(content.substr(0, 5), "new\r\n");
    EXPECT_EQ(content.back(), 'L');
}

TEST_F(EventLogTest, NewestFirstWithTagAndReportErrorCodes) {
    auto log = MakeLog();
    log.SetLogTag("LUMEN70-LONGER");
    EXPECT_EQ(log.GetLogTag(), "LUMEN70");
    log.WriteLogEntry(3, "first", "F", 1);
    EXPECT_EQ(log.ReportError(15, "StartDialog", 1), 15);
    EXPECT_EQ(log.ReportError(4, "StartDialog", 1), 4);
    EXPECT_EQ(log.ReportError(5, "StartDialog", 1133), 5);
    EXPECT_EQ(ReadFile(path), "1:[LUMEN70];Error n\xB0" "405;05/03/2026 09h07min;StartDialog:1133\r\n"
                              "3:[LUMEN70];first;05/03/2026 09h07min;F:1\r\n");
    EXPECT_EQ(lock.depth, 0) << "every entry releases the log lock";
}

TEST_F(EventLogTest, LogAlreadyOverTheCapStaysCapped) {
    {
        std::ofstream out(path, std::ios::binary);
        out << std::string(support::kLogOlderPartCap + 4096, 'o');
    }
    auto log = MakeLog();
    log.SetLogTag("LUMEN70");
    log.WriteLogEntry(1, "m", "f", 2);
    const std::string entry = "1:[LUMEN70];m;05/03/2026 09h07min;f:2\r\n";
    std::string content = ReadFile(path);
    EXPECT_EQ(content.size(), entry.size() + support::kLogOlderPartCap);
    EXPECT_EQ(content.substr(0, entry.size()), entry);
    log.WriteLogEntry(1, "m", "f", 2);
    EXPECT_EQ(ReadFile(path).size(), entry.size() + support::kLogOlderPartCap);
}

TEST_F(EventLogTest, UnopenableFileOrEmptyPathLosesTheEntryQuietly) {
    support::EventLog noFolder(lock, [this] { return (dir / "missing" / "HalvexPan.csv").string(); }, nullptr);
    noFolder.WriteLogEntry(1, "lost", "f", 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    support::EventLog noPath(lock, [] { return std::string(); }, nullptr);
    noPath.WriteLogEntry(1, "lost", "f", 1);
    EXPECT_EQ(lock.depth, 0);
}

} // namespace
