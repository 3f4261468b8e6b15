#include "catalogue/install_detection.h"
#include "catalogue/install_detection_win.h"
#include "catalogue/program_table_win.h"
#include "download/program_image_sync_win.h"
#include "string_ids.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "tests/support/fake_server_win.h"
#include "tests/support/test_root_win.h"

namespace pelmora {
namespace {

using testsupport::FakeServer;
using testsupport::RecordingPrompt;

std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::wstring Key(std::u16string_view name) {
    return win::ToWide(std::u16string(kUninstallKeyPrefix) + std::u16string(name));
}

// A catalogue line with every field; the English name also names the URLs.
std::u16string Line(int id, std::u16string_view name, std::u16string_view version,
                    std::u16string_view offer) {
    const std::u16string n(name);
    return win::ToU16(std::to_wstring(id)) + u",ko," + n + u",zh,ja," + std::u16string(version) + u"," + std::u16string(offer) +
           u",http://server.test/img/" + n + u",http://server.test/hq/" + n + u",amr,eur,chna";
}

class ProgramTableTest : public ::testing::Test {
protected:
    ProgramTableTest() : root_(L"pelmora-table-test"), server_(root_.ServerFolder()) {
        startup_.server = ServerFiles{FakeServer::kBaseUrl, root_.Root(), server_.Downloader()};
        startup_.installCheck = [this](const std::wstring& key, const std::wstring& version) {
            checks_.push_back(key + L"=" + version);
            const auto found = installed_.find(key);
            if (found == installed_.end()) return NotInstalled;
            return found->second == version ? Latest : UpdateAvailable;
        };
        startup_.prompt = &prompt_;
        startup_.dismissSplash = [this] { ++dismissed_; };
    }

    void WriteCatalogue(const std::u16string& programLines) {
        const std::u16string text = u"\uFEFFid,Korean,English,Chinese,Japanese,ver\r\n" + programLines;
        root_.Publish(L"tools/program_list.txt", Utf16Le(text));
        ASSERT_TRUE(testsupport::WriteFileBytes(CatalogueFilePath(root_.Root()), Utf16Le(text)));
    }
    StartupStep Build() { return BuildProgramTable(startup_, table_); }

    testsupport::TestRoot root_;
    FakeServer server_;
    RecordingPrompt prompt_;
    CatalogueStartup startup_;
    std::map<std::wstring, std::wstring> installed_;  // key -> DisplayVersion
    std::vector<std::wstring> checks_;
    int dismissed_ = 0;
    ProgramTable table_;
};

TEST_F(ProgramTableTest, KeepsInstalledAndOfferedProgramsInFileOrder) {
    installed_[Key(u"Halvex")] = L"1.9";
    WriteCatalogue(Line(1, u"Halvex", u"2.0", u"FALSE") + u"\r\n" +
                   Line(7, u"Tool Seven", u"1.0", u"FALSE") + u"\r\n" +
                   Line(8, u"Ångström Viewer", u"3.1", u"TRUE") + u"\r\n" +
                   Line(0, u"Notes", u"1.0", u"FALSE") + u"\r\n");
    ASSERT_TRUE(testsupport::WriteFileMakingFolders(
        DownloadedVersionFilePath(root_.Root(), L"Halvex"), "2.0\r\n"));
    ASSERT_TRUE(testsupport::WriteFileMakingFolders(
        DownloadedVersionFilePath(root_.Root(), L"\u00C5ngstr\u00F6m Viewer"), "3.0"));

    EXPECT_EQ(Build(), StartupStep::Continue);
    ASSERT_EQ(table_.programCount, 3);
    const ProgramRecord& halvex = table_.records[0];
    EXPECT_EQ(halvex.nameEnglish, u"Halvex");
    EXPECT_EQ(halvex.state, UpdateAvailable);
    EXPECT_EQ(halvex.setupFile, u"setup_light.exe");
    EXPECT_TRUE(halvex.downloadMatches);
    EXPECT_EQ(halvex.packageLocation[3], u"chna\r");
    EXPECT_EQ(table_.records[1].nameEnglish, u"Ångström Viewer");
    EXPECT_EQ(table_.records[1].state, NotInstalled);
    EXPECT_EQ(table_.records[1].setupFile, u"setup.exe");
    EXPECT_FALSE(table_.records[1].downloadMatches);
    EXPECT_EQ(table_.records[2].nameEnglish, u"Notes");
    EXPECT_EQ(table_.records[2].state, NotLookedUp);
    EXPECT_EQ(table_.records[3].nameEnglish, u"\n");  // the dropped line's slot was reused
    EXPECT_EQ(checks_, (std::vector<std::wstring>{Key(u"Halvex") + L"=2.0",
                                                  Key(u"Tool Seven") + L"=1.0",
                                                  Key(u"Ångström Viewer") + L"=3.1"}));
    EXPECT_TRUE(prompt_.shown.empty());
    EXPECT_EQ(dismissed_, 0);
}

TEST_F(ProgramTableTest, TwentyFiveLinesGiveTwentyRows) {
    std::u16string lines;
    for (int i = 1; i <= 25; ++i) lines += Line(9, u"P" + win::ToU16(std::to_wstring(i)), u"1", u"TRUE") + u"\n";
    WriteCatalogue(lines);
    EXPECT_EQ(Build(), StartupStep::Continue);
    EXPECT_EQ(table_.programCount, 20);
    EXPECT_EQ(table_.records[19].nameEnglish, u"P20");
    EXPECT_EQ(checks_.size(), 20u);
}

TEST_F(ProgramTableTest, ThreeFieldLineReadsAsAnUpdateOfAnInstalledTool) {
    // The real registry: the version is the cleared LF, which no installed version equals.
    const std::wstring key = Key(u"Pelmora Table Test Tool");
    HKEY created = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                KEY_WRITE | KEY_WOW64_64KEY, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(created, L"DisplayVersion", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(L"1.0"), sizeof(L"1.0"));
    ::RegCloseKey(created);
    startup_.installCheck = CheckInstalled;
    WriteCatalogue(u"12,ko,Pelmora Table Test Tool\n");  // with CR LF the CR would end the name
    EXPECT_EQ(Build(), StartupStep::Continue);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
    ASSERT_EQ(table_.programCount, 1);
    EXPECT_EQ(table_.records[0].serverVersion, u"\n");
    EXPECT_EQ(table_.records[0].state, UpdateAvailable);
}

TEST_F(ProgramTableTest, QuietModeMatchDecidesAndStopsTheTable) {
    installed_[Key(u"Halvex")] = L"1.0";
    installed_[Key(u"Quorin")] = L"2.0";
    WriteCatalogue(Line(1, u"Halvex", u"1.1", u"FALSE") + u"\n" + Line(7, u"Extra", u"1", u"FALSE") +
                   u"\n" + Line(2, u"Quorin", u"2.0", u"FALSE") + u"\n" +
                   Line(9, u"Last", u"1", u"TRUE") + u"\n");
    struct Case {
        const wchar_t* commandLine;
        int answer;
        StartupStep step;
        int count;
        size_t questions;
        int dismissed;
    };
    for (const Case& c : {Case{L"Halvex", IDYES, StartupStep::Continue, 3, 1, 1},
                          Case{L"Halvex", IDNO, StartupStep::Close, 1, 1, 1},
                          Case{L"Quorin", IDYES, StartupStep::Close, 2, 0, 1},
                          Case{L"Extra", IDYES, StartupStep::Continue, 3, 0, 0},
                          Case{L"halvex", IDYES, StartupStep::Continue, 3, 0, 0}}) {
        SCOPED_TRACE(c.commandLine);
        startup_.commandLine = c.commandLine;
        prompt_.answer = c.answer;
        prompt_.shown.clear();
        dismissed_ = 0;
        EXPECT_EQ(Build(), c.step);
        EXPECT_EQ(table_.programCount, c.count);
        EXPECT_EQ(table_.records[c.count].nameEnglish, u"\n");  // nothing read after a close
        ASSERT_EQ(prompt_.shown.size(), c.questions);
        EXPECT_EQ(dismissed_, c.dismissed);
        if (c.questions == 0) continue;
        EXPECT_EQ(prompt_.shown[0].text,
                  win::LoadStringLang(IDS_PROGRAM_UPDATE_AVAILABLE,
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK)));
        EXPECT_EQ(prompt_.shown[0].type, static_cast<UINT>(MB_YESNO));
    }
}

TEST_F(ProgramTableTest, CatalogueFetchDecidesWhetherStartUpGoesOn) {
    EXPECT_EQ(LoadProgramCatalogue(startup_, table_), StartupStep::Close);
    EXPECT_EQ(dismissed_, 1);
    EXPECT_EQ(server_.Requests(), std::vector<std::wstring>{L"tools/program_list.txt"});

    server_.ClearRequests();
    WriteCatalogue(Line(9, u"Tool", u"1", u"TRUE") + u"\n");
    ::DeleteFileW(CatalogueFilePath(root_.Root()).c_str());  // must come from the server
    EXPECT_EQ(LoadProgramCatalogue(startup_, table_), StartupStep::Continue);
    EXPECT_EQ(table_.programCount, 1);
    EXPECT_EQ(server_.Requests(), (std::vector<std::wstring>{L"tools/program_list.txt",
                                                             L"tools/db_version.txt"}));
}

TEST_F(ProgramTableTest, HostileNamesAreListedButNothingIsWrittenOrOpenedForThem) {
    // Names that climb out of Pelmora's folders (to <root>\escape), name a
    // device or a stream, or would be trimmed by the file system.
    const std::u16string names[] = {u"..\\..\\..\\..\\escape", u"../../../../escape", u"CON",
                                    u"x:escape", u"escape.", u"tab\tescape"};
    std::u16string lines, stamps;
    for (const auto& name : names) {
        lines += Line(9, name, u"1.0", u"TRUE") + u"\n";
        stamps += u"s\n";
    }
    WriteCatalogue(lines + Line(9, u"Fine Tool", u"1.0", u"TRUE") + u"\n");
    ASSERT_TRUE(testsupport::WriteFileMakingFolders(root_.Root() + L"escape\\version.txt", "1.0"));
    root_.Publish(L"tools/image_version.txt", win::ToUtf8(win::ToWide(stamps)) + "s\n");
    root_.Publish(L"img/Fine Tool/en.bmp", "BM");

    EXPECT_EQ(Build(), StartupStep::Continue);
    ASSERT_EQ(table_.programCount, 7);
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(table_.records[i].downloadMatches) << i;
    SyncProgramImages(startup_.server, table_);
    std::vector<std::wstring> expected = {L"tools/image_version.txt"};
    for (const wchar_t* file : {L"kr", L"en", L"cn", L"jp", L"po"})
        expected.push_back(std::wstring(L"img/Fine Tool/") + file + L".bmp");
    EXPECT_EQ(server_.Requests(), expected);
    EXPECT_TRUE(win::FileExists(root_.Pelmora() + L"image\\Fine Tool\\en.bmp"));

    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((root_.Root() + L"escape\\*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    int entries = 0;
    do ++entries; while (::FindNextFileW(find, &found));
    ::FindClose(find);
    EXPECT_EQ(entries, 3);  // ".", ".." and the planted version.txt
}

}  // namespace
}  // namespace pelmora
