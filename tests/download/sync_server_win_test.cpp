// The database and picture synchronisations end to end: the real transfer
// against the fault-injecting test server, real files in the prefix.
#include "download/sync/model_database_sync_win.h"
#include "download/sync/program_image_sync_win.h"
#include "app/session/session_win.h"
#include "win/text_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "tests/support/fake_server_win.h"
#include "tests/support/test_root_win.h"
#include "tests/support/test_server_win.h"

namespace pelmora {
namespace {

const char* const kDatabases[] = {"modelinfo_hq.db", "modelinfo_amr.db", "modelinfo_eur.db",
                                  "modelinfo_chna.db"};

class ServerSync : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Connect()) << "the test server fixture is not running";
        server_.Control("GET", "/__control/reset");
        files_ = Session(server_.Url(L"/e2e/tools/"), std::nullopt, {}, root_.Root()).Server();
    }
    std::string Local(const std::string& name) {
        return testsupport::ReadFileBytes(root_.Root() + L"Korvath\\tools\\" + win::FromUtf8(name));
    }
    // One listed program, whose pictures lie below the test server's images.
    ProgramTable ModelViewerOnly() {
        ProgramTable table;
        table.programCount = table.catalogueLineCount = 1;
        table.records[0].catalogueLine = 0;
        table.records[0].nameEnglish = u"Model Viewer";
        table.records[0].imageLocation =
            win::ToU16(server_.Url(L"/e2e/tools/images/Model Viewer"));
        return table;
    }
    void PublishDatabases(const std::string& stamp, const std::string& generation) {
        ASSERT_TRUE(server_.PutFile("/e2e/tools/db_version.txt", stamp));
        for (const char* db : kDatabases)
            ASSERT_TRUE(server_.PutFile(std::string("/e2e/tools/") + db, generation + db));
    }

    testsupport::TestRoot root_{L"pelmora-sync-server-test"};
    testsupport::TestServer server_;
    testsupport::RecordingPrompt prompt_;
    ServerFiles files_;
};

TEST_F(ServerSync, DatabasesArriveWholeOrStayAsTheyWere) {
    PublishDatabases("2026-12-01\r\n", std::string(300000, 'a'));
    SyncModelDatabases(files_, prompt_);
    for (const char* db : kDatabases) EXPECT_EQ(Local(db), std::string(300000, 'a') + db);
    EXPECT_EQ(Local("db_version.txt"), "2026-12-01\r\n");
    EXPECT_EQ(prompt_.shown.size(), 1u);

    // New stamp; the AMR database breaks off half-way and EUR is missing.
    PublishDatabases("2026-12-08\r\n", std::string(300000, 'b'));
    ASSERT_TRUE(server_.SetRule("/e2e/tools/modelinfo_amr.db", "close_after=150000"));
    ASSERT_TRUE(server_.SetRule("/e2e/tools/modelinfo_eur.db", "status=404"));
    prompt_.shown.clear();
    SyncModelDatabases(files_, prompt_);
    // What a sibling tool reads is the previous set whole, never a mix.
    for (const char* db : kDatabases) EXPECT_EQ(Local(db), std::string(300000, 'a') + db);
    EXPECT_EQ(Local("db_version.txt"), "<missing>");  // the next start tries again
    EXPECT_TRUE(prompt_.shown.empty());

    // Every fetch was fresh: the server saw all four databases both times.
    const std::string log = server_.Log("/e2e/tools/modelinfo_");
    for (const char* db : kDatabases) {
        size_t count = 0;
        for (size_t at = log.find(db); at != std::string::npos; at = log.find(db, at + 1)) ++count;
        EXPECT_EQ(count, 2u) << db;
    }
}

TEST_F(ServerSync, AStalledPictureCostsOneTimeOutAndTheRestComeNextStart) {
    const ProgramTable table = ModelViewerOnly();
    const char* pictures[] = {"kr", "en", "cn", "jp", "po"};
    for (const char* p : pictures)
        ASSERT_TRUE(server_.PutFile(std::string("/e2e/tools/images/Model%20Viewer/") + p + ".bmp",
                                    std::string("BM picture ") + p));
    ASSERT_TRUE(server_.PutFile("/e2e/tools/image_version.txt", "viewer-1\r\n"));
    ASSERT_TRUE(server_.SetRule("/e2e/tools/images/Model%20Viewer/cn.bmp", "stall_after=0"));

    const ULONGLONG start = ::GetTickCount64();
    SyncProgramImages(files_, table);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_LT(elapsed, 2 * kSmallFileTimeoutMs) << "one stall, one time-out";

    const std::wstring folder = ProgramImageFolder(root_.Root(), L"Model Viewer");
    const auto picture = [&](const char* p) {
        return testsupport::ReadFileBytes(folder + L"\\" + win::FromUtf8(p) + L".bmp");
    };
    // The others were fetched alongside it and are whole; the stalled one is not there.
    for (const char* p : pictures)
        EXPECT_EQ(picture(p), std::string(p) == "cn" ? std::string("<missing>")
                                                     : std::string("BM picture ") + p);

    ASSERT_TRUE(server_.Reset("/e2e/tools/images/Model%20Viewer/cn.bmp"));
    SyncProgramImages(files_, table);  // the server's stamp has not changed
    for (const char* p : pictures) EXPECT_EQ(picture(p), std::string("BM picture ") + p);
    // The name's blank reached the server escaped.
    EXPECT_NE(server_.Log("/e2e/tools/images/").find("GET /e2e/tools/images/Model%20Viewer/en.bmp"),
              std::string::npos);
}

// With the maker's key, the kept pictures of an unchanged line are compared
// with the release only once the window says its list is on screen; a window
// closing meanwhile ends the wait at once.
TEST_F(ServerSync, KeptPicturesAreCheckedOnceTheListIsShown) {
    const ProgramTable table = ModelViewerOnly();
    ASSERT_TRUE(server_.PutFile("/e2e/tools/image_version.txt", "viewer-1\r\n"));
    ASSERT_TRUE(testsupport::WriteFileBytes(
        root_.Root() + kPelmoraFolder + L"image_version.txt", "viewer-1\r\n"));
    std::atomic<int> looked{0};
    files_.release = [&looked](const std::wstring&, DownloadOptions&) {
        ++looked;
        return E_FAIL;  // not listed: nothing fetched
    };
    const win::Handle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const win::Handle shown(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const auto sync = [&] {
        return std::async(std::launch::async, [&] {
            return SyncProgramImages(files_, table, stop.get(), {}, shown.get());
        });
    };

    auto running = sync();
    EXPECT_EQ(running.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    EXPECT_EQ(looked, 0);
    ::SetEvent(shown.get());
    EXPECT_TRUE(running.get());
    EXPECT_EQ(looked, 5);

    ::ResetEvent(shown.get());
    running = sync();
    ::SetEvent(stop.get());
    ASSERT_EQ(running.wait_for(std::chrono::milliseconds(kRecheckWaitMs / 2)),
              std::future_status::ready);
    EXPECT_FALSE(running.get());
    EXPECT_EQ(looked, 5);
}

}  // namespace
}  // namespace pelmora
