// The default log file: lines from many threads arrive whole, the file never
// passes its cap, and the full file moves aside so the last lines stay.
#include "win/diagnostics_win.h"
#include "win/files_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_bytes_win.h"

namespace {

TEST(Diagnostics, LogFileTakesWholeLinesFromManyThreadsWithinItsCap) {
    ASSERT_EQ(::GetEnvironmentVariableW(L"PELMORA_LOG", nullptr, 0), 0u)
        << "the default log file is what this test reads";
    const std::wstring folder = win::LocalRoot() + L"pelmora-diagnostics-test\\";
    const std::wstring log = folder + L"pelmora.log", old = folder + L"pelmora.old.log";
    ASSERT_TRUE(win::EnsureFolder(folder));
    ::DeleteFileW(log.c_str());
    ::DeleteFileW(old.c_str());

    win::Diag(L"[Pelmora]held until the file is known\n");
    win::KeepLogIn(folder);
    constexpr int kThreads = 4, kLines = 1500;  // about 2.5 times the cap in all
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                win::Diag(L"[Pelmora]thread " + std::to_wstring(t) + L" line " +
                          std::to_wstring(i) + L" " + std::wstring(90, L'x') + L"\n");
        });
    for (std::thread& thread : threads) thread.join();

    const std::string current = testsupport::ReadFileBytes(log);
    const std::string previous = testsupport::ReadFileBytes(old);
    EXPECT_LE(current.size(), win::kLogFileMaxBytes);
    EXPECT_LE(previous.size(), win::kLogFileMaxBytes);
    EXPECT_GT(previous.size(), win::kLogFileMaxBytes / 2) << "the full file moved aside";
    std::istringstream lines(previous + current);
    std::string line;
    int whole = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("[Pelmora]thread ", 0) != 0) continue;
        EXPECT_EQ(line.substr(line.size() - 91), " " + std::string(90, 'x')) << line;
        ++whole;
    }
    EXPECT_GT(whole, static_cast<int>(win::kLogFileMaxBytes / 120)) << "more than one file's worth";
    const std::string kept = previous + current;
    for (int t = 0; t < kThreads; ++t)  // each thread's last line is kept
        EXPECT_NE(kept.find("thread " + std::to_string(t) + " line " +
                               std::to_string(kLines - 1) + " "),
                  std::string::npos);
    ::DeleteFileW(log.c_str());
    ::DeleteFileW(old.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
