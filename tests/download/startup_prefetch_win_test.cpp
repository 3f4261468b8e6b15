// Start-up files fetched ahead of their turn reach their places only when
// asked for, with the fetch's own result.
#include "download/sync/startup_prefetch_win.h"

#include <gtest/gtest.h>

#include "tests/support/fake_server_win.h"
#include "tests/support/test_root_win.h"

namespace pelmora {
namespace {

class Prefetch : public ::testing::Test {
  protected:
    Prefetch() {
        root_.Publish(L"tools/a.txt", "server a");
        root_.Publish(L"tools/b.txt", "server b");
        testsupport::WriteFileMakingFolders(Local(L"a.txt"), "local a");
        testsupport::WriteFileMakingFolders(Local(L"b.txt"), "local b");
    }
    std::wstring Url(const wchar_t* name) { return server_.kBaseUrl + std::wstring(name); }
    std::wstring Local(const wchar_t* name) { return root_.Root() + L"local\\" + name; }
    std::string Read(const wchar_t* name) { return testsupport::ReadFileBytes(Local(name)); }
    // Files in the staging folder: none may stay behind.
    int StagedFiles() {
        WIN32_FIND_DATAW found;
        const HANDLE search = ::FindFirstFileW((Staging() + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return 0;
        int count = 0;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        return count;
    }
    std::wstring Staging() { return root_.Root() + L"local\\"; }
    testsupport::TestRoot root_{L"pelmora-prefetch-test"};
    testsupport::FakeServer server_{root_.ServerFolder()};
};

TEST_F(Prefetch, FilesArriveInTheAskersOrderAndFailuresWhenAsked) {
    server_.Fail(L"tools/b.txt", 0x800C0005);  // missing
    StartupPrefetch prefetch(server_.Downloader(), {Url(L"a.txt"), Url(L"b.txt")},
                             Staging(), 10000);
    const Downloader download = prefetch.Serving();
    // Both are asked for at once, but neither local file changes before its turn.
    EXPECT_EQ(Read(L"b.txt"), "local b");
    EXPECT_EQ(Read(L"a.txt"), "local a");

    EXPECT_EQ(download(Url(L"b.txt"), Local(L"b.txt"), 10000), 0x800C0005);
    EXPECT_EQ(Read(L"b.txt"), "local b");  // a failure leaves it as it was
    EXPECT_EQ(Read(L"a.txt"), "local a");
    EXPECT_EQ(download(Url(L"a.txt"), Local(L"a.txt"), 10000), S_OK);
    EXPECT_EQ(Read(L"a.txt"), "server a");
    EXPECT_EQ(server_.requests.size(), 2u);
    EXPECT_EQ(StagedFiles(), 2);  // a.txt and b.txt themselves

    // Handed over once: asked again, it comes from the server again.
    root_.Publish(L"tools/a.txt", "server a, later");
    EXPECT_EQ(download(Url(L"a.txt"), Local(L"a.txt"), 10000), S_OK);
    EXPECT_EQ(Read(L"a.txt"), "server a, later");
    EXPECT_EQ(server_.requests.size(), 3u);
}

TEST_F(Prefetch, WhatIsNotAskedForIsRemoved) {
    server_.latencyMs = 300;  // still under way when given up
    Downloader download;
    {
        StartupPrefetch prefetch(server_.Downloader(), {Url(L"a.txt"), Url(L"b.txt")},
                                 Staging(), 10000);
        download = prefetch.Serving();
        EXPECT_EQ(download(Url(L"a.txt"), Local(L"a.txt"), 10000), S_OK);
    }
    ::Sleep(600);  // the fetch of b.txt ends meanwhile
    EXPECT_EQ(Read(L"b.txt"), "local b");
    EXPECT_EQ(StagedFiles(), 2);
    // After the start-up, the same Downloader fetches directly.
    server_.latencyMs = 0;
    EXPECT_EQ(download(Url(L"b.txt"), Local(L"b.txt"), 10000), S_OK);
    EXPECT_EQ(Read(L"b.txt"), "server b");
}

TEST_F(Prefetch, AKeptFetchOutlivesTheStartUpAndOnlyItsOwnerTakesIt) {
    server_.latencyMs = 300;  // still under way when the start-up ends
    Downloader kept;
    {
        StartupPrefetch prefetch(server_.Downloader(), {Url(L"a.txt"), Url(L"b.txt")},
                                 Staging(), 10000);
        kept = prefetch.Keep(Url(L"b.txt"));
        EXPECT_EQ(prefetch.Serving()(Url(L"a.txt"), Local(L"a.txt"), 10000), S_OK);
    }
    EXPECT_EQ(Read(L"b.txt"), "local b");
    EXPECT_EQ(kept(Url(L"b.txt"), Local(L"b.txt"), 10000), S_OK);
    EXPECT_EQ(Read(L"b.txt"), "server b");
    EXPECT_EQ(server_.requests.size(), 2u);  // b.txt's early fetch, not a second one
    EXPECT_EQ(StagedFiles(), 2);
}

}  // namespace
}  // namespace pelmora
