// The event log on Windows files: a log that another program holds open without letting others read
// it keeps its history (the new entry is lost), and is written again once released.
#include "support/EventLog.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

class NoLock : public support::Lockable {
public:
    bool Lock(unsigned) override { return true; }
    bool Unlock() override { return true; }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EventLogWin, LogHeldWithoutReadSharingKeepsItsHistory) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "lumen-log-held-" + std::to_string(GetCurrentProcessId()) + ".csv";
    const std::string history = "3:[LUMEN70];older;01/01/2026 00h00min;f:1\r\n";
    NoLock lock;
    support::EventLog log(lock, [&] { return path; }, [] { return support::LogTime{5, 3, 2026, 9, 7}; });
    log.SetLogTag("LUMEN70");

    // Another program's handle: writing, sharing at most writing and deleting, never reading.
    const struct {
        DWORD share;
        const char* what;
    } holders[] = {{0, "no sharing"},
                   {FILE_SHARE_WRITE, "write sharing"},
                   {FILE_SHARE_WRITE | FILE_SHARE_DELETE, "write and delete sharing"}};
    for (const auto& holder : holders) {
        SCOPED_TRACE(holder.what);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << history;
        HANDLE held = CreateFileA(path.c_str(), GENERIC_WRITE, holder.share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        log.WriteLogEntry(1, "lost", "f", 2);
        CloseHandle(held);
        EXPECT_EQ(ReadFile(path), history);
    }

    log.WriteLogEntry(1, "kept", "f", 3);
    EXPECT_EQ(ReadFile(path), "1:[LUMEN70];kept;05/03/2026 09h07min;f:3\r\n" + history);
    DeleteFileA(path.c_str());
}

} // namespace
