#include "app/settings/settings.h"
#include "download/sync/local_release_files_win.h"
#include "download/sync/model_database_sync_win.h"
#include "download/sync/program_image_sync_win.h"
#include "string_ids.h"
#include "trust/sha256_win.h"
#include "win/handles_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/support/fake_server_win.h"
#include "tests/support/test_root_win.h"

namespace pelmora {
namespace {

using Requests = std::vector<std::wstring>;
const wchar_t* const kDatabases[] = {L"modelinfo_hq.db", L"modelinfo_amr.db", L"modelinfo_eur.db",
                                     L"modelinfo_chna.db"};
const wchar_t* const kPictures[] = {L"kr.bmp", L"en.bmp", L"cn.bmp", L"jp.bmp", L"po.bmp"};

class SyncTest : public ::testing::Test {
  protected:
    std::string Local(const std::wstring& path) {
        return testsupport::ReadFileBytes(root_.Root() + L"Korvath\\tools\\" + path);
    }
    // The files (not folders) in Korvath\tools.
    std::set<std::wstring> ToolsFolderFiles() {
        std::set<std::wstring> names;
        WIN32_FIND_DATAW found;
        const HANDLE search =
            ::FindFirstFileW((root_.Root() + L"Korvath\\tools\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(found.cFileName);
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        return names;
    }
    testsupport::TestRoot root_{L"pelmora-sync-test"};
    testsupport::FakeServer server_{root_.ServerFolder()};
    testsupport::RecordingPrompt prompt_;
    ServerFiles files_{server_.kBaseUrl, root_.Root(), server_.Downloader()};
};

class DatabaseSync : public SyncTest {
  protected:
    void Sync(const std::string& stamp, const std::string& generation) {
        root_.Publish(L"tools/db_version.txt", stamp);
        for (const wchar_t* db : kDatabases)
            root_.Publish(std::wstring(L"tools/") + db, generation + win::ToUtf8(db));
        server_.requests.clear();
        prompt_.shown.clear();
        SyncModelDatabases(files_, prompt_);
    }
};

TEST_F(DatabaseSync, FetchesAllFourWhenTheFirstLineChanges) {
    Sync("\r\n2026-12\r\n", "old ");  // an empty first line equals having no stamp
    EXPECT_EQ(server_.requests, Requests{L"tools/db_version.txt"});

    Sync("2026-12\r\nnotes\r\n", "new ");
    Requests expected = {L"tools/db_version.txt"};
    for (const wchar_t* db : kDatabases) expected.push_back(std::wstring(L"tools/") + db);
    EXPECT_EQ(server_.requests, expected);
    for (const wchar_t* db : kDatabases) EXPECT_EQ(Local(db), "new " + win::ToUtf8(db));
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].first,
              win::LoadStringLang(IDS_DB_UPDATED, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK)));
    EXPECT_EQ(prompt_.shown[0].second, static_cast<UINT>(MB_OK));  // OK alone, no icon

    Sync("2026-12\nother notes\n", "newer ");  // same first line
    EXPECT_EQ(server_.requests.size(), 1u);
    server_.Fail(L"tools/db_version.txt", 1);
    Sync("2027-01", "newer ");
    EXPECT_EQ(server_.requests.size(), 1u);
    EXPECT_EQ(Local(L"db_version.txt"), "2026-12\nother notes\n");
    EXPECT_EQ(Local(L"modelinfo_hq.db"), "new modelinfo_hq.db");
    EXPECT_TRUE(prompt_.shown.empty());
}

TEST_F(DatabaseSync, FailedDatabaseLeavesTheOldOneWholeAndForgetsTheStamp) {
    Sync("1", "old ");
    server_.Fail(L"tools/modelinfo_amr.db", 0x800C0005);  // missing
    server_.Fail(L"tools/modelinfo_eur.db", 1);           // stalled
    Sync("2", "new ");
    EXPECT_EQ(server_.requests.size(), 5u);  // all four attempted
    for (const wchar_t* db : kDatabases) EXPECT_EQ(Local(db), "old " + win::ToUtf8(db));  // a set
    EXPECT_EQ(Local(L"db_version.txt"), "<missing>");
    EXPECT_EQ(ToolsFolderFiles(), std::set<std::wstring>(std::begin(kDatabases), std::end(kDatabases)));
    EXPECT_TRUE(prompt_.shown.empty());

    server_.Heal(L"tools/modelinfo_amr.db");
    server_.Heal(L"tools/modelinfo_eur.db");
    Sync("2", "new ");  // the next start fetches all four again
    EXPECT_EQ(Local(L"modelinfo_eur.db"), "new modelinfo_eur.db");
    EXPECT_EQ(prompt_.shown.size(), 1u);
}

TEST_F(DatabaseSync, TheStampIsSavedOnlyAfterAllFourArrived) {
    Sync("1", "old ");
    std::vector<std::string> seen;
    server_.onRequest = [&](const std::wstring& path) {
        if (path.find(L".db") != std::wstring::npos) seen.push_back(Local(L"db_version.txt"));
    };
    Sync("2", "new ");
    ASSERT_EQ(seen.size(), 4u);
    for (const std::string& stamp : seen) EXPECT_EQ(stamp, "1");  // a start cut short refetches
    EXPECT_EQ(Local(L"db_version.txt"), "2");
    EXPECT_EQ(Local(L"db_version.txt.server"), "<missing>");
}

TEST_F(DatabaseSync, OneHeldOpenByAnotherProgramKeepsTheOldSetAndStamp) {
    Sync("1", "old ");
    {
        // A sibling tool reading it, not sharing deletion: it cannot be replaced.
        const win::File held(::CreateFileW((root_.Root() + L"Korvath\\tools\\modelinfo_eur.db").c_str(),
                                           GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        Sync("2", "new ");
        for (const wchar_t* db : kDatabases) EXPECT_EQ(Local(db), "old " + win::ToUtf8(db));
        EXPECT_EQ(Local(L"db_version.txt"), "1");
        std::set<std::wstring> expected(std::begin(kDatabases), std::end(kDatabases));
        expected.insert(L"db_version.txt");
        EXPECT_EQ(ToolsFolderFiles(), expected);  // nothing staged or set aside is left
        EXPECT_TRUE(prompt_.shown.empty());
    }
    Sync("2", "new ");  // the next start tries again
    for (const wchar_t* db : kDatabases) EXPECT_EQ(Local(db), "new " + win::ToUtf8(db));
    EXPECT_EQ(prompt_.shown.size(), 1u);
}

TEST_F(SyncTest, LocalFilesAreComparedWithTheirReleaseEntries) {
    const std::string body = "database bytes";
    const auto lookup = [&](const std::wstring& url, DownloadOptions& entry) {
        if (url == L"unlisted") return kNotInRelease;
        entry.maxBytes = body.size();
        entry.expectedDigest = Sha256Of(body);
        return S_OK;
    };
    const std::wstring folder = root_.Root() + L"Korvath\\tools\\";
    testsupport::WriteFileBytes(folder + L"same.db", body);
    testsupport::WriteFileBytes(folder + L"zeroed.db", std::string(body.size(), '\0'));
    testsupport::WriteFileBytes(folder + L"short.db", "database");
    const std::vector<LocalReleaseFile> files = {
        {L"same", folder + L"same.db"},     {L"zeroed", folder + L"zeroed.db"},
        {L"short", folder + L"short.db"},   {L"missing", folder + L"missing.db"},
        {L"unlisted", folder + L"short.db"}};
    EXPECT_EQ(FilesNotAsReleased(files, lookup), (std::vector<size_t>{1, 2, 3}));
    EXPECT_FALSE(LocalFilesAsReleased(files, lookup));
    EXPECT_TRUE(LocalFilesAsReleased(files, {}));  // no maker's key: nothing to compare
}

class ImageSync : public SyncTest {
  protected:
    // Programs "A", "B", ... with their pictures below img/A/ and so on.
    ImageSync() {
        table_.programCount = kProgramTableSize;
        table_.catalogueLineCount = kProgramTableSize;
        for (int i = 0; i < kProgramTableSize; ++i) {
            const std::wstring name(1, L'A' + i);
            table_.records[i].catalogueLine = i;
            table_.records[i].nameEnglish = win::ToU16(name);
            table_.records[i].imageLocation = win::ToU16(L"http://server.test/img/" + name);
            for (const wchar_t* file : kPictures)
                root_.Publish(L"img/" + name + L"/" + file, "bmp");
        }
    }
    // The programs whose pictures were requested, in name order, each with
    // all five (fetched in parallel, so in any order).
    std::wstring Sync(const std::string& stamps) {
        root_.Publish(L"tools/image_version.txt", stamps);
        server_.requests.clear();
        SyncProgramImages(files_, table_);
        EXPECT_EQ(server_.requests.at(0), L"tools/image_version.txt");
        return ProgramsRequested(true);
    }
    std::wstring ProgramsRequested(bool expectAllFive) {
        std::map<wchar_t, std::set<std::wstring>> files;
        for (const std::wstring& r : server_.requests)
            if (r.rfind(L"img/", 0) == 0) files[r[4]].insert(r.substr(6));
        std::wstring programs;
        for (const auto& [program, got] : files) {
            programs += program;
            if (expectAllFive) {
                EXPECT_EQ(got, std::set<std::wstring>(std::begin(kPictures), std::end(kPictures)))
                    << program;
            }
        }
        return programs;
    }
    ProgramTable table_;
};

TEST_F(ImageSync, ChangedLinesFetchTheirProgramsPictures) {
    std::string stamps;
    for (int i = 0; i < 21; ++i) stamps += "1\r\n";
    EXPECT_EQ(Sync(stamps), L"ABCDEFGHIJKLMNOPQRST");  // the 21st line is ignored
    EXPECT_EQ(Local(L"Pelmora\\image\\T\\po.bmp"), "bmp");
    stamps.replace(3 * 3, 1, "2");
    EXPECT_EQ(Sync(stamps), L"D");
    EXPECT_EQ(Sync("1\r\n1\r\n\r\n9\r\n"), L"");  // an empty line ends the comparison
}

TEST_F(ImageSync, AFailedPictureKeepsItsRowsOldLineUntilItArrives) {
    table_.programCount = table_.catalogueLineCount = 3;
    server_.Fail(L"img/B/kr.bmp", 0x800C0005);  // missing
    EXPECT_EQ(Sync("x\ny\nz\nno program in this row\n"), L"ABC");
    EXPECT_EQ(Local(L"Pelmora\\image\\B\\en.bmp"), "bmp");  // the others still come
    // B had no line before: its line is marked, never empty, so C's still counts.
    EXPECT_EQ(Sync("x\ny\nz\nno program in this row\n"), L"B");
    server_.Heal(L"img/B/kr.bmp");
    EXPECT_EQ(Sync("x\ny\nz\nno program in this row\n"), L"B");
    EXPECT_EQ(Sync("x\ny\nz\nno program in this row\n"), L"");

    server_.Fail(L"img/C/po.bmp", 0x800C0005);
    EXPECT_EQ(Sync("x\ny\nz2\n"), L"C");
    EXPECT_EQ(Sync("x\ny\nz2\n"), L"C");  // its old line "z" stayed

    server_.Fail(L"tools/image_version.txt", 1);
    EXPECT_EQ(Sync("changed\n"), L"");
    EXPECT_EQ(Local(L"Pelmora\\image_version.txt"), "x\r\ny\r\nz\r\n");
}

TEST_F(ImageSync, AHostThatTimesOutIsLeftForTheNextStart) {
    table_.programCount = table_.catalogueLineCount = 4;
    table_.records[2].imageLocation = u"http://other.test/img/C";  // another host
    server_.Fail(L"img/A/kr.bmp", 1);                              // stalls, first of all
    server_.latencyMs = 50;  // the others are still under way when it fails
    root_.Publish(L"tools/image_version.txt", "1\n1\n1\n1\n");
    server_.requests.clear();
    SyncProgramImages(files_, table_);
    // What was under way ends; D, on the same host and not begun, is not tried.
    // C, on another host, comes whole.
    EXPECT_EQ(ProgramsRequested(false).find(L'D'), std::wstring::npos);
    for (const wchar_t* file : kPictures)
        EXPECT_EQ(Local(std::wstring(L"Pelmora\\image\\C\\") + file), "bmp");
    EXPECT_EQ(Local(L"Pelmora\\image\\A\\kr.bmp"), "<missing>");

    server_.Heal(L"img/A/kr.bmp");
    server_.latencyMs = 0;
    const std::wstring next = Sync("1\n1\n1\n1\n");
    EXPECT_NE(next.find(L'A'), std::wstring::npos);
    EXPECT_NE(next.find(L'D'), std::wstring::npos);
    EXPECT_EQ(next.find(L'C'), std::wstring::npos);  // its line was saved
    EXPECT_EQ(Sync("1\n1\n1\n1\n"), L"");
}

// Line j of the stamp file belongs to the j-th catalogue line, whether or not
// this machine lists it: rows below a tool that is not listed here keep their
// own lines and pictures.
TEST_F(ImageSync, LinesFollowCatalogueLinesNotListRows) {
    table_.catalogueLineCount = 4;
    table_.programCount = 3;
    table_.records[1].catalogueLine = 2;  // line 1 (B) is not listed here
    table_.records[1].nameEnglish = u"C";
    table_.records[1].imageLocation = u"http://server.test/img/C";
    table_.records[2].catalogueLine = 3;
    table_.records[2].nameEnglish = u"D";
    table_.records[2].imageLocation = u"http://server.test/img/D";
    root_.Publish(L"img/C/en.bmp", "C's picture");
    EXPECT_EQ(Sync("a1\nb1\nc1\nd1\n"), L"ACD");
    EXPECT_EQ(Local(L"Pelmora\\image\\C\\en.bmp"), "C's picture");
    EXPECT_EQ(Sync("a1\nb1\nc2\nd1\n"), L"C");  // only C's line changed

    // B's line was not taken: once B is listed, its pictures come.
    table_.programCount = 4;
    table_.records[3] = table_.records[2];
    table_.records[2] = table_.records[1];
    table_.records[1].catalogueLine = 1;
    table_.records[1].nameEnglish = u"B";
    table_.records[1].imageLocation = u"http://server.test/img/B";
    EXPECT_EQ(Sync("a1\nb1\nc2\nd1\n"), L"B");
    EXPECT_EQ(Sync("a1\nb1\nc2\nd1\n"), L"");
}

TEST_F(ImageSync, StampsAreSavedOnlyAfterThePicturesTheyVouchFor) {
    table_.programCount = 2;
    EXPECT_EQ(Sync("1\n1\n"), L"AB");
    std::vector<std::string> seen;
    server_.onRequest = [&](const std::wstring& path) {
        if (path.rfind(L"img/", 0) == 0) seen.push_back(Local(L"Pelmora\\image_version.txt"));
    };
    EXPECT_EQ(Sync("2\n2\n"), L"AB");
    ASSERT_EQ(seen.size(), 10u);
    for (const std::string& stamps : seen) EXPECT_EQ(stamps, "1\r\n1\r\n");
    EXPECT_EQ(Local(L"Pelmora\\image_version.txt"), "2\r\n2\r\n");
}

}  // namespace
}  // namespace pelmora
