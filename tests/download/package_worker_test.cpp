// The package worker's decisions with a scripted host: what each attempt
// fetches and writes, and when the run stops. The main window's tests
// (tests/app/install_workflow_win_test.cpp) cover cancel and the boxes.
#include "download/worker/package_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace pelmora {
namespace {

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

// Answers downloads from a script and records every call in order.
class ScriptedHost final : public PackageWorkerHost {
  public:
    std::vector<int32_t> results;  // one per download, in order; then success
    std::vector<bool> answers;     // one per question; then No
    std::vector<std::string> calls;

    bool Cancelled() override { return false; }
    uint32_t folderError = 0;  // what MakeProgramFolder answers
    uint32_t MakeProgramFolder(const std::u16string& name) override {
        calls.push_back("folder " + Narrow(name));
        return folderError;
    }
    int32_t Download(const PackageJob& job, const std::u16string& url,
                     const std::u16string& fileName) override {
        calls.push_back("get " + Narrow(url) + " > " + Narrow(job.name) + "\\" +
                        Narrow(fileName) + " row " + std::to_string(job.row) +
                        (job.versionMatches ? " continue" : " fresh"));
        ++downloads_;
        return downloads_ <= static_cast<int>(results.size()) ? results[downloads_ - 1]
                                                              : kTransferOk;
    }
    void WriteVersionFile(const std::u16string& name, const std::u16string& version) override {
        calls.push_back("version " + Narrow(name) + " " + Narrow(version));
    }
    void Report(ReportKind kind, int row, int value) override {
        static const char* names[] = {"downloading", "progress", "downloaded",
                                      "ask",         "failed",   "all passed", "folder fault"};
        calls.push_back(std::string("report ") + names[static_cast<int>(kind)] + " " +
                        std::to_string(row) + " " + std::to_string(value));
    }
    bool AskRetry(int row) override {
        Report(ReportKind::AskRetry, row, 0);
        return questions_ < answers.size() && answers[questions_++];
    }

  private:
    int downloads_ = 0;
    size_t questions_ = 0;
};

PackageJob Job(int row, const char16_t* name, bool matches = false) {
    return PackageJob{row,         name, u"2.0", std::u16string(u"http://s/p/") + name,
                      u"setup.exe", matches, std::nullopt};
}

TEST(PackageWorker, FailuresAnsweredYesTwiceFetchUnderscoreOneThenTwo) {
    ScriptedHost host;
    host.results = {static_cast<int32_t>(0x800C0005), kTransferOk + 1};  // not found, time-out
    host.answers = {true, true};
    RunPackageJobs({Job(3, u"Mira")}, host);
    EXPECT_EQ(host.calls, (std::vector<std::string>{
                              "folder Mira", "report downloading 3 0",
                              "get http://s/p/Mira/setup.exe > Mira\\setup.exe row 3 fresh",
                              "version Mira 2.0", "report ask 3 0",
                              "folder Mira", "report downloading 3 1",
                              "get http://s/p/Mira/setup.exe > Mira\\_1setup.exe row 3 continue",
                              "version Mira 2.0", "report ask 3 0",
                              "folder Mira", "report downloading 3 2",
                              "get http://s/p/Mira/setup.exe > Mira\\_2setup.exe row 3 continue",
                              "version Mira 2.0", "report downloaded 3 2",
                              "report all passed -1 0"}));
}

TEST(PackageWorker, AnAbortThatIsNoCancelShowsTheFailureAndStops) {
    ScriptedHost host;
    host.results = {kTransferAborted};
    RunPackageJobs({Job(0, u"A", true), Job(1, u"B")}, host);
    EXPECT_EQ(host.calls, (std::vector<std::string>{
                              "folder A", "report downloading 0 0",
                              "get http://s/p/A/setup.exe > A\\setup.exe row 0 continue",
                              "version A 2.0", "report failed 0 0"}));
}

TEST(ReportQueue, OneWakeUpPerBurstAndNothingLost) {
    ReportQueue queue;
    EXPECT_TRUE(queue.Push({7, ReportKind::Progress, 1, 10}));
    EXPECT_FALSE(queue.Push({7, ReportKind::Progress, 1, 11}));
    auto drained = queue.Drain();
    ASSERT_EQ(drained.size(), 2u);
    EXPECT_EQ(drained[1].value, 11);
    EXPECT_TRUE(queue.Push({7, ReportKind::Downloaded, 1, 0}));
    queue.WakeUpLost();
    EXPECT_TRUE(queue.Push({7, ReportKind::AllRowsPassed, -1, 0}));

    // A writer thread and a reader: every report arrives once, in order.
    ReportQueue shared;
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) shared.Push({1, ReportKind::Progress, 0, i});
    });
    std::vector<int> seen;
    while (seen.size() < 20000)
        for (const WorkerReport& r : shared.Drain()) seen.push_back(r.value);
    writer.join();
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(seen[i], i);
}

// A folder that cannot be written, or a full disk, is a local fault: no retry
// question, the worker stops and says so with the Win32 error.
TEST(PackageWorker, LocalFaultsStopWithoutARetryQuestion) {
    ScriptedHost readOnly;
    readOnly.folderError = 5;  // ERROR_ACCESS_DENIED
    RunPackageJobs({Job(0, u"A"), Job(1, u"B")}, readOnly);
    EXPECT_EQ(readOnly.calls,
              (std::vector<std::string>{"folder A", "report folder fault 0 5"}));

    ScriptedHost full;
    full.results = {static_cast<int32_t>(0x80070070u)};  // ERROR_DISK_FULL
    full.answers = {true};
    RunPackageJobs({Job(2, u"C")}, full);
    EXPECT_EQ(full.calls.back(), "report folder fault 2 112");
    EXPECT_EQ(std::count(full.calls.begin(), full.calls.end(), "report ask 2 0"), 0);
}

}  // namespace
}  // namespace pelmora
