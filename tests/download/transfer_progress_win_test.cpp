#include "download/transfer/transfer_progress_win.h"

#include "tests/download/recording_target.h"
#include "win/handles_win.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

win::Handle NewEvent() { return win::Handle(::CreateEventW(nullptr, FALSE, FALSE, nullptr)); }

bool Signalled(const win::Handle& event) {
    return ::WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0;
}

TEST(TransferProgress, WithoutTargetSignalsEveryReportAndNeverCancels) {
    const win::Handle event = NewEvent();
    TransferProgress progress(event.get(), nullptr, 0);
    for (uint64_t received : {0ull, 10ull, 10ull, 0ull}) {
        EXPECT_EQ(progress.Report(received, 0), S_OK);
        EXPECT_TRUE(Signalled(event));
        EXPECT_FALSE(Signalled(event));  // auto-reset: one signal per report
    }
}

TEST(TransferProgress, ShowsEachNewPercentOnceInItsRow) {
    const win::Handle event = NewEvent();
    RecordingTarget target;
    TransferProgress progress(event.get(), &target, 7);
    const uint64_t total = 300;
    for (uint64_t received : {0ull, 1ull, 2ull, 3ull, 4ull, 5ull, 299ull, 300ull, 300ull, 450ull}) {
        EXPECT_EQ(progress.Report(received, total), S_OK);
        EXPECT_TRUE(Signalled(event)) << received;
    }
    const std::vector<std::pair<int, int>> expected = {{7, 1}, {7, 99}, {7, 100}, {7, 150}};
    EXPECT_EQ(target.Shown(), expected);
}

TEST(TransferProgress, UnknownTotalShowsNothingButKeepsTheTimeOutAlive) {
    const win::Handle event = NewEvent();
    RecordingTarget target;
    TransferProgress progress(event.get(), &target, 2);
    for (uint64_t received : {0ull, 65536ull, 131072ull, 4000000000ull}) {
        EXPECT_EQ(progress.Report(received, 0), S_OK);
        EXPECT_TRUE(Signalled(event));
    }
    EXPECT_TRUE(target.Shown().empty());
}

TEST(TransferProgress, AnswersAbortOnceInstallIsNoLongerActive) {
    const win::Handle event = NewEvent();
    RecordingTarget target;
    TransferProgress progress(event.get(), &target, 0);
    EXPECT_EQ(progress.Report(10, 100), S_OK);
    target.SetActive(false);
    // The report still shows its percent and restarts the time-out.
    EXPECT_EQ(progress.Report(20, 100), E_ABORT);
    EXPECT_TRUE(Signalled(event));
    EXPECT_EQ(target.Percents(), (std::vector<int>{10, 20}));
}

}  // namespace
}  // namespace pelmora
