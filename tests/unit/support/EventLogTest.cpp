// Log entry format, newest-first discipline with the cap, tag and error reports.
#include "support/EventLog.h"
#include "tests/unit/link/FakeBus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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
    linktest::MemoryLock lock;
};

TEST_F(EventLogTest, NewestFirstWithTagAndReportErrorCodes) {
    auto log = MakeLog();
    log.SetLogTag("LUMEN70-LONGER");
    EXPECT_EQ(log.GetLogTag(), "LUMEN70");
    log.WriteLogEntry(3, "first", "F", 1);
    EXPECT_EQ(log.ReportError(15, "StartDialog", 1), 15);
    EXPECT_EQ(log.ReportError(4, "StartDialog", 1), 4);
    EXPECT_EQ(log.ReportError(5, "StartDialog", 1133), 5);
    EXPECT_EQ(log.ReportError(0x1FFFF, "OpenCommPort", 952), 0x1FFFF); // low 16 bits, signed: -1
    EXPECT_EQ(ReadFile(path), "1:[LUMEN70];Error n\xB0" "399;05/03/2026 09h07min;OpenCommPort:952\r\n"
                              "1:[LUMEN70];Error n\xB0" "405;05/03/2026 09h07min;StartDialog:1133\r\n"
                              "3:[LUMEN70];first;05/03/2026 09h07min;F:1\r\n");
    EXPECT_EQ(lock.depth(), 0) << "every entry releases the log lock";
}

TEST_F(EventLogTest, LogAlreadyOverTheCapStaysCapped) {
    {
        std::ofstream out(path, std::ios::binary);
        out << std::string(support::kLogOlderPartCap + 4096, 'o');
    }
    auto log = MakeLog();
    log.SetLogTag("LUMEN70");
    const std::string entry = "1:[LUMEN70];m;05/03/2026 09h07min;f:2\r\n";
    for (int i = 0; i < 2; ++i) {
        log.WriteLogEntry(1, "m", "f", 2);
        const std::string content = ReadFile(path);
        EXPECT_EQ(content.size(), entry.size() + support::kLogOlderPartCap);
        EXPECT_EQ(content.substr(0, entry.size()), entry);
    }
}

TEST_F(EventLogTest, UnopenableFileLosesTheEntryQuietly) {
    support::EventLog noFolder(lock, [this] { return (dir / "missing" / "HalvexPan.csv").string(); }, nullptr);
    noFolder.WriteLogEntry(1, "lost", "f", 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_EQ(lock.depth(), 0);
}

// An existing log that this process may write but not read (another account's file, a program holding
// it) must keep its history: the entry is lost, never the file. Run as an unprivileged user in a child,
// since root reads everything.
TEST_F(EventLogTest, ExistingLogThatCannotBeReadKeepsItsHistory) {
    const std::string history = "3:[LUMEN70];older;01/01/2026 00h00min;f:1\r\n";
    {
        std::ofstream out(path, std::ios::binary);
        out << history;
    }
    std::filesystem::permissions(dir, std::filesystem::perms::all);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_write |
                                           std::filesystem::perms::others_write);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(2);
        if (::access(path.c_str(), R_OK) == 0 || ::access(path.c_str(), W_OK) != 0)
            ::_exit(3); // the scene needs a writable, unreadable file
        MakeLog().WriteLogEntry(1, "new", "f", 2);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "could not set up an unreadable log";
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(ReadFile(path), history);
}

} // namespace
