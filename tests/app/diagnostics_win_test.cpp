// The default log file: lines from many threads arrive whole, neither file
// passes the cap, and the full file moves aside so the last lines stay.
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
    ASSERT_EQ(::GetEnvironmentVariableW(L"PELMORA_LOG", nullptr, 0), 0u);
    const std::wstring folder = win::LocalRoot() + L"pelmora-diagnostics-test\\";
    ASSERT_TRUE(win::EnsureFolder(folder));
    ::DeleteFileW((folder + L"pelmora.log").c_str());
    ::DeleteFileW((folder + L"pelmora.old.log").c_str());
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
    win::Diag(L"[Pelmora]the last line\n");

    const std::string current = testsupport::ReadFileBytes(folder + L"pelmora.log");
    const std::string previous = testsupport::ReadFileBytes(folder + L"pelmora.old.log");
    EXPECT_LE(current.size(), win::kLogFileMaxBytes);
    EXPECT_LE(previous.size(), win::kLogFileMaxBytes);
    std::istringstream lines(previous + current);
    std::string line;
    int whole = 0;
    while (std::getline(lines, line))
        if (line.rfind("[Pelmora]thread ", 0) == 0)
            whole += line.substr(line.size() - 91) == " " + std::string(90, 'x');
    EXPECT_GT(whole, static_cast<int>(win::kLogFileMaxBytes / 120)) << "more than one file's worth";
    EXPECT_EQ(current.substr(current.size() - 23), "[Pelmora]the last line\n");
}

}  // namespace
