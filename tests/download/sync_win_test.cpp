#include "app/settings.h"
#include "download/model_database_sync_win.h"
#include "download/program_image_sync_win.h"
#include "string_ids.h"
#include "win/handles_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/fake_server_win.h"
#include "tests/support/test_root_win.h"

namespace pelmora {
namespace {

using testsupport::FakeServer;
using testsupport::ReadFileBytes;
using Requests = std::vector<std::wstring>;

const wchar_t* const kDatabases[] = {L"modelinfo_hq.db", L"modelinfo_amr.db", L"modelinfo_eur.db",
                                     L"modelinfo_chna.db"};
const wchar_t* const kPictures[] = {L"kr.bmp", L"en.bmp", L"cn.bmp", L"jp.bmp", L"po.bmp"};

class SyncTest : public ::testing::Test {
protected:
    SyncTest() : root_(L"pelmora-sync-test"), server_(root_.ServerFolder()) {
        files_ = ServerFiles{FakeServer::kBaseUrl, root_.Root(), server_.Downloader()};
    }
    std::string Local(const std::wstring& path) { return ReadFileBytes(root_.Root() + path); }

    testsupport::TestRoot root_;
    FakeServer server_;
    testsupport::RecordingPrompt prompt_;
    ServerFiles files_;
};

class DatabaseSync : public SyncTest {
protected:
    void PublishDatabases(const std::string& generation) {
        for (const wchar_t* db : kDatabases)
            root_.Publish(std::wstring(L"tools/") + db, generation + " of " + win::ToUtf8(db));
    }
    Requests DatabaseRequests() {
        Requests all;
        for (const wchar_t* db : kDatabases) all.push_back(std::wstring(L"tools/") + db);
        return all;
    }
    void Sync() {
        server_.ClearRequests();
        prompt_.shown.clear();
        SyncModelDatabases(files_, prompt_);
    }
};

TEST_F(DatabaseSync, FirstRunFetchesAllFourAndAsksForARestart) {
    root_.Publish(L"tools/db_version.txt", "2026-12\r\nnotes\r\n");
    PublishDatabases("new");
    Sync();
    Requests expected = {L"tools/db_version.txt"};
    for (const auto& r : DatabaseRequests()) expected.push_back(r);
    EXPECT_EQ(server_.Requests(), expected);
    for (const wchar_t* db : kDatabases)
        EXPECT_EQ(Local(std::wstring(L"Korvath\\tools\\") + db), "new of " + win::ToUtf8(db));
    EXPECT_EQ(Local(L"Korvath\\tools\\db_version.txt"), "2026-12\r\nnotes\r\n");
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].text,
              win::LoadStringLang(IDS_DB_UPDATED, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK)));
    EXPECT_EQ(prompt_.shown[0].type, static_cast<UINT>(MB_OK));  // OK alone, no icon

    // Same first line, other later lines: nothing more.
    root_.Publish(L"tools/db_version.txt", "2026-12\nchanged notes\n");
    PublishDatabases("newer");
    Sync();
    EXPECT_EQ(server_.Requests(), Requests{L"tools/db_version.txt"});
    EXPECT_TRUE(prompt_.shown.empty());
}

TEST_F(DatabaseSync, EmptyServerStampEqualsNoLocalStamp) {
    root_.Publish(L"tools/db_version.txt", "\r\n2026-12\r\n");
    PublishDatabases("new");
    Sync();
    EXPECT_EQ(server_.Requests(), Requests{L"tools/db_version.txt"});
    EXPECT_TRUE(prompt_.shown.empty());
}

TEST_F(DatabaseSync, FailedDatabaseLeavesTheOldOneWholeAndForgetsTheStamp) {
    root_.Publish(L"tools/db_version.txt", "1");
    PublishDatabases("old");
    Sync();
    root_.Publish(L"tools/db_version.txt", "2");
    PublishDatabases("new");
    server_.Fail(L"tools/modelinfo_amr.db", 0x800C0005);  // missing
    server_.Fail(L"tools/modelinfo_eur.db", 1);           // stalled

    Sync();
    EXPECT_EQ(server_.Requests().size(), 5u);  // all four attempted after the failures
    EXPECT_EQ(Local(L"Korvath\\tools\\modelinfo_hq.db"), "new of modelinfo_hq.db");
    EXPECT_EQ(Local(L"Korvath\\tools\\modelinfo_amr.db"), "old of modelinfo_amr.db");
    EXPECT_EQ(Local(L"Korvath\\tools\\modelinfo_eur.db"), "old of modelinfo_eur.db");
    EXPECT_EQ(Local(L"Korvath\\tools\\modelinfo_chna.db"), "new of modelinfo_chna.db");
    EXPECT_FALSE(win::FileExists(root_.Tools() + L"db_version.txt"));
    EXPECT_TRUE(prompt_.shown.empty());

    // The next start fetches all four again.
    server_.Heal(L"tools/modelinfo_amr.db");
    server_.Heal(L"tools/modelinfo_eur.db");
    Sync();
    EXPECT_EQ(server_.Requests().size(), 5u);
    EXPECT_EQ(Local(L"Korvath\\tools\\modelinfo_eur.db"), "new of modelinfo_eur.db");
    EXPECT_EQ(prompt_.shown.size(), 1u);
}

TEST_F(DatabaseSync, UnreachableStampChangesNothing) {
    ASSERT_TRUE(testsupport::WriteFileBytes(root_.Tools() + L"db_version.txt", "1"));
    root_.Publish(L"tools/db_version.txt", "2");
    server_.Fail(L"tools/db_version.txt", 1);
    Sync();
    EXPECT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(Local(L"Korvath\\tools\\db_version.txt"), "1");
}

class ImageSync : public SyncTest {
protected:
    void SetPrograms(int count) {
        table_ = ProgramTable{};
        table_.programCount = count;
        for (int i = 0; i < count; ++i) {
            table_.records[i].nameEnglish = u"Program " + std::u16string(1, u'A' + i);
            table_.records[i].imageLocation = u"http://server.test/img/" + std::u16string(1, u'A' + i);
        }
    }
    void PublishPictures(int count) {
        for (int i = 0; i < count; ++i)
            for (const wchar_t* file : kPictures)
                root_.Publish(L"img/" + std::wstring(1, L'A' + i) + L"/" + file, "bitmap");
    }
    // The programs (by letter) whose pictures were fetched, each whole and in order.
    std::wstring FetchedPrograms() {
        std::wstring programs;
        const Requests& r = server_.Requests();
        for (size_t i = 1; i < r.size(); i += 5) {
            programs += r[i][4];
            for (size_t f = 0; f < 5; ++f)
                EXPECT_EQ(r.at(i + f), std::wstring(L"img/") + r[i][4] + L"/" + kPictures[f]);
        }
        return programs;
    }
    void Sync(const std::string& stamps) {
        root_.Publish(L"tools/image_version.txt", stamps);
        server_.ClearRequests();
        SyncProgramImages(files_, table_);
    }
    ProgramTable table_;
};

TEST_F(ImageSync, ChangedLinesFetchTheirProgramsPictures) {
    SetPrograms(20);
    PublishPictures(20);
    std::string stamps;
    for (int i = 0; i < 21; ++i) stamps += "1\r\n";
    Sync(stamps);
    EXPECT_EQ(FetchedPrograms(), L"ABCDEFGHIJKLMNOPQRST");  // the 21st line is ignored
    EXPECT_EQ(Local(L"Korvath\\tools\\Pelmora\\image\\Program T\\po.bmp"), "bitmap");

    stamps.replace(3 * 3, 1, "2");  // line 3
    Sync(stamps);
    EXPECT_EQ(FetchedPrograms(), L"D");

    Sync("1\r\n1\r\n\r\n9\r\n");  // an empty line ends the comparison
    EXPECT_EQ(FetchedPrograms(), L"");
}

TEST_F(ImageSync, FailedPicturesDoNotStopTheOthers) {
    SetPrograms(3);
    PublishPictures(3);
    server_.Fail(L"img/A/cn.bmp", 1);  // stalls
    server_.Fail(L"img/B/kr.bmp", 0x800C0005);
    Sync("x\ny\nz\nextra line without a program\n");
    EXPECT_EQ(FetchedPrograms(), L"ABC");
    EXPECT_EQ(Local(L"Korvath\\tools\\Pelmora\\image\\Program A\\po.bmp"), "bitmap");
    EXPECT_EQ(Local(L"Korvath\\tools\\Pelmora\\image\\Program A\\cn.bmp"), "<missing>");
    EXPECT_EQ(Local(L"Korvath\\tools\\Pelmora\\image\\Program B\\en.bmp"), "bitmap");

    server_.Fail(L"tools/image_version.txt", 1);
    Sync("changed\n");
    EXPECT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(Local(L"Korvath\\tools\\Pelmora\\image_version.txt"), "x\ny\nz\nextra line without a program\n");
}

// A 2 x 2, 24-bit bitmap of one colour.
std::string Bitmap(BYTE red, BYTE green, BYTE blue) {
    std::string bmp = {'B', 'M'};
    auto put32 = [&bmp](uint32_t v) { for (int i = 0; i < 4; ++i) bmp.push_back(char(v >> (8 * i))); };
    auto put16 = [&bmp](uint16_t v) { bmp.push_back(char(v)); bmp.push_back(char(v >> 8)); };
    put32(14 + 40 + 16); put32(0); put32(14 + 40);
    put32(40); put32(2); put32(2); put16(1); put16(24); put32(0); put32(16);
    put32(2835); put32(2835); put32(0); put32(0);
    for (int row = 0; row < 2; ++row) {
        for (int px = 0; px < 2; ++px) bmp += {char(blue), char(green), char(red)};
        bmp += {0, 0};
    }
    return bmp;
}

class ShowImage : public SyncTest {
protected:
    void SetUp() override {
        window_.reset(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | SS_BITMAP, 0, 0, 50, 50,
                                        nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(window_);
    }
    void TearDown() override { ClearProgramImage(window_.get()); }
    HBITMAP Current() {
        return reinterpret_cast<HBITMAP>(::SendMessageW(window_.get(), STM_GETIMAGE, IMAGE_BITMAP, 0));
    }
    COLORREF CurrentColour() {
        win::MemoryDc dc(::CreateCompatibleDC(nullptr));
        win::SelectObjectScope select(dc.get(), Current());
        return ::GetPixel(dc.get(), 0, 0);
    }
    void Picture(const std::wstring& program, const wchar_t* file, COLORREF c) {
        ASSERT_TRUE(testsupport::WriteFileMakingFolders(
            ProgramImageFolder(root_.Root(), program) + L"\\" + file,
            Bitmap(GetRValue(c), GetGValue(c), GetBValue(c))));
    }
    win::Window window_;
};

TEST_F(ShowImage, LanguagePicksTheFileAndTheOldBitmapIsFreed) {
    Picture(L"Tool \u00C5", L"kr.bmp", RGB(255, 0, 0));
    Picture(L"Tool \u00C5", L"en.bmp", RGB(0, 0, 255));
    ShowProgramImage(root_.Root(), L"Tool \u00C5", window_.get(), Korean);
    const HBITMAP first = Current();
    EXPECT_EQ(CurrentColour(), RGB(255, 0, 0));
    ShowProgramImage(root_.Root(), L"Tool \u00C5", window_.get(), Romanian);
    EXPECT_EQ(::GetObjectType(first), 0u);  // deleted, not leaked
    EXPECT_EQ(CurrentColour(), RGB(0, 0, 255));

    const HBITMAP shown = Current();
    ShowProgramImage(root_.Root(), L"Tool \u00C5", window_.get(), Japanese);  // no jp.bmp
    ShowProgramImage(root_.Root(), L"Missing", window_.get(), Korean);
    EXPECT_EQ(Current(), shown);
    EXPECT_EQ(CurrentColour(), RGB(0, 0, 255));
}

TEST_F(ShowImage, ReadsWhatTheSynchronisationWroteButNothingOutsideIt) {
    root_.Publish(L"img/A/po.bmp", Bitmap(0, 255, 0));
    ProgramTable table;
    table.programCount = 1;
    table.records[0].nameEnglish = u"A";
    table.records[0].imageLocation = u"http://server.test/img/A";
    root_.Publish(L"tools/image_version.txt", "1\n");
    SyncProgramImages(files_, table);
    ShowProgramImage(root_.Root(), L"A", window_.get(), Polish);
    EXPECT_EQ(CurrentColour(), RGB(0, 255, 0));

    // <root>\Korvath\tools\Pelmora\image\..\..\..\..\outside\en.bmp
    Picture(L"..\\..\\..\\..\\outside", L"en.bmp", RGB(9, 9, 9));
    const HBITMAP shown = Current();
    ShowProgramImage(root_.Root(), L"..\\..\\..\\..\\outside", window_.get(), English);
    EXPECT_EQ(Current(), shown);
}

}  // namespace
}  // namespace pelmora
