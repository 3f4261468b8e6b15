// The installer pipeline as a script's run and Pelmora's own update take it:
// the fetch's rules (the digest, version.txt after every attempt), the
// private copy and the silent start, against the test server and with a
// real program as the installer.
#include "download/worker/installer_pipeline_win.h"
#include "trust/sha256_win.h"
#include "win/text_win.h"

#include <gtest/gtest.h>

#include "tests/support/file_bytes_win.h"
#include "tests/support/test_root_win.h"
#include "tests/support/test_server_win.h"

namespace pelmora {
namespace {

class InstallerPipeline : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Connect()) << "the test server fixture is not running";
        server_.Reset("/pipe/");
        // A program of our own stands in for an installer: it ends with the
        // exit code its arguments give.
        installer_ = testsupport::ReadBesideThisProgram(L"pelmora_exit_code.exe");
        ASSERT_NE(installer_, "<missing>");
        ASSERT_TRUE(server_.PutFile("/pipe/pkg/Tool/setup.exe", installer_));
    }
    PackageJob Job(std::optional<Sha256Digest> digest) {
        return PackageJob{0,     u"Tool", u"2.0", win::ToU16(server_.Url(L"/pipe/pkg/Tool")),
                          u"setup.exe", false, digest};
    }
    std::wstring Work() const { return root_.Root() + L"Korvath\\tools\\Pelmora\\"; }
    std::string VersionFile() {
        return testsupport::ReadFileBytes(
            root_.Root() + L"Korvath\\tools\\Pelmora\\downloaded_program\\Tool\\version.txt");
    }

    testsupport::TestRoot root_{L"pelmora-pipeline-test"};
    testsupport::TestServer server_;
    std::string installer_;
};

TEST_F(InstallerPipeline, AnInstallerArrivesOnlyWithItsDigestAndLeavesItsVersion) {
    const FetchedInstaller wrong =
        FetchInstallerQuietly(Work(), nullptr, Job(Sha256Of("other bytes")), {});
    EXPECT_TRUE(wrong.path.empty());
    EXPECT_NE(wrong.reason.find("download failed"), std::string::npos) << wrong.reason;
    EXPECT_EQ(VersionFile(), "2.0");  // after every attempt, as Start writes it

    const FetchedInstaller right =
        FetchInstallerQuietly(Work(), nullptr, Job(Sha256Of(installer_)), {});
    ASSERT_FALSE(right.path.empty()) << right.reason;
    EXPECT_EQ(testsupport::ReadFileBytes(right.path), installer_);
}

TEST_F(InstallerPipeline, TheCheckedCopyRunsHiddenAndGivesItsExitCode) {
    const FetchedInstaller fetched =
        FetchInstallerQuietly(Work(), nullptr, Job(Sha256Of(installer_)), {});
    ASSERT_FALSE(fetched.path.empty()) << fetched.reason;
    const InstallerExit exit = RunInstallerSilently(fetched, L"Tool", L"3010", 60000, {});
    ASSERT_TRUE(exit.code) << exit.reason;
    EXPECT_EQ(*exit.code, 3010u);

    // Changed after its check: no copy runs.
    FetchedInstaller changed = fetched;
    changed.digest = Sha256Of("other bytes");
    const InstallerExit refused = RunInstallerSilently(changed, L"Tool", L"0", 60000, {});
    EXPECT_FALSE(refused.code);
    EXPECT_NE(refused.reason.find("no checked private copy"), std::string::npos) << refused.reason;
}

TEST_F(InstallerPipeline, AnInstallerPastItsTimeIsEndedWithWhatItStarted) {
    const FetchedInstaller fetched =
        FetchInstallerQuietly(Work(), nullptr, Job(Sha256Of(installer_)), {});
    ASSERT_FALSE(fetched.path.empty()) << fetched.reason;
    const InstallerExit exit = RunInstallerSilently(fetched, L"Tool", L"hang", 2000, {});
    EXPECT_FALSE(exit.code);
    EXPECT_NE(exit.reason.find("it was ended, with every process it started"), std::string::npos)
        << exit.reason;
    // The installer and the copy it started both held the event: gone with the last of them.
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        const HANDLE held = ::OpenEventW(SYNCHRONIZE, FALSE, L"pelmora-test-hanging-installer");
        gone = held == nullptr;
        if (held) ::CloseHandle(held), ::Sleep(100);
    }
    EXPECT_TRUE(gone);
}

TEST_F(InstallerPipeline, AnInstallerSwappedAfterItsDownloadIsNotWhatRuns) {
    const FetchedInstaller fetched =
        FetchInstallerQuietly(Work(), nullptr, Job(Sha256Of(installer_)), {});
    ASSERT_FALSE(fetched.path.empty()) << fetched.reason;
    // A neighbour replaces the download between its check and the copy.
    ASSERT_TRUE(testsupport::WriteFileBytes(fetched.path, "MZ not the maker's"));
    const InstallerExit exit = RunInstallerSilently(fetched, L"Tool", L"0", 60000, {});
    EXPECT_FALSE(exit.code);
    EXPECT_NE(exit.reason.find("no checked private copy"), std::string::npos) << exit.reason;
}

}  // namespace
}  // namespace pelmora
