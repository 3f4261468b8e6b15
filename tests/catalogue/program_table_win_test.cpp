#include "app/self_update/self_version_check_win.h"
#include "catalogue/model/install_detection.h"
#include "win/local_text_win.h"
#include "catalogue/workflow/program_table_win.h"
#include "download/sync/program_image_sync_win.h"
#include "string_ids.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <map>

#include "tests/support/fake_server_win.h"
#include "tests/support/test_root_win.h"

namespace pelmora {
namespace {

std::wstring Key(const std::wstring& name) {
    return win::ToWide(kUninstallKeyPrefix) + name;
}

// A catalogue line with every field; the URLs end in the English name.
std::wstring Line(int id, const std::wstring& name, const std::wstring& version, bool offer) {
    return std::to_wstring(id) + L",ko," + name + L",zh,ja," + version +
           (offer ? L",TRUE" : L",no") + L",http://server.test/img/" + name +
           L",hq,amr,eur,chna\r\n";
}

class ProgramTableTest : public ::testing::Test {
  protected:
    ProgramTableTest() {
        startup_.server = ServerFiles{server_.kBaseUrl, root_.Root(), server_.Downloader()};
        startup_.installCheck = [this](const std::wstring& key, const std::wstring& version) {
            checks_.push_back(key + L"=" + version);
            const auto found = installed_.find(key);
            if (found == installed_.end()) return NotInstalled;
            return found->second == version ? Latest : UpdateAvailable;
        };
        startup_.prompt = &prompt_;
        startup_.dismissSplash = [this] { ++dismissed_; };
    }
    // As UTF-16 both on the server and already fetched.
    void WriteCatalogue(const std::wstring& lines) {
        const std::wstring text = L"\xFEFFid,Korean,English\r\n" + lines;
        const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        root_.Publish(L"tools/program_list.txt", bytes);
        ASSERT_TRUE(testsupport::WriteFileBytes(CatalogueFilePath(root_.Root()), bytes));
    }
    void WriteDownloadedVersion(const std::wstring& name, const std::string& version) {
        ASSERT_TRUE(testsupport::WriteFileMakingFolders(
            DownloadedVersionFilePath(root_.Root() + L"Korvath\\tools\\Pelmora\\", name), version));
    }
    StartupStep Build() { return BuildProgramTable(startup_, table_); }

    testsupport::TestRoot root_{L"pelmora-table-test"};
    testsupport::FakeServer server_{root_.ServerFolder()};
    testsupport::RecordingPrompt prompt_;
    CatalogueStartup startup_;
    std::map<std::wstring, std::wstring> installed_;  // key -> DisplayVersion
    std::vector<std::wstring> checks_;
    int dismissed_ = 0;
    ProgramTable table_;
};

TEST_F(ProgramTableTest, KeepsInstalledAndOfferedProgramsInFileOrder) {
    installed_[Key(L"Halvex")] = L"1.9";
    WriteCatalogue(Line(1, L"Halvex", L"2.0", false) + Line(7, L"Tool Seven", L"1.0", false) +
                   Line(8, L"\u00C5ngstr\u00F6m Viewer", L"3.1", true) +
                   Line(0, L"Notes", L"1", false));
    WriteDownloadedVersion(L"Halvex", "2.0\r\n");
    WriteDownloadedVersion(L"\u00C5ngstr\u00F6m Viewer", "3.0");

    EXPECT_EQ(Build(), StartupStep::Continue);
    ASSERT_EQ(table_.programCount, 3);
    const ProgramRecord* r = table_.records.data();
    EXPECT_EQ(r[0].nameEnglish, u"Halvex");
    EXPECT_EQ(r[0].state, UpdateAvailable);
    EXPECT_EQ(r[0].setupFile, u"setup_light.exe");
    EXPECT_TRUE(r[0].downloadMatches);
    EXPECT_EQ(r[0].packageLocation[3], u"chna\r");
    EXPECT_EQ(r[1].nameEnglish, u"\u00C5ngstr\u00F6m Viewer");
    EXPECT_EQ(r[1].state, NotInstalled);
    EXPECT_EQ(r[1].setupFile, u"setup.exe");
    EXPECT_FALSE(r[1].downloadMatches);
    EXPECT_EQ(r[2].state, NotLookedUp);
    EXPECT_EQ(r[3].nameEnglish, u"\n");  // the dropped line's slot went to the next one
    EXPECT_EQ(checks_, (std::vector<std::wstring>{Key(L"Halvex=2.0"), Key(L"Tool Seven=1.0"),
                                                  Key(L"\u00C5ngstr\u00F6m Viewer=3.1")}));
    EXPECT_TRUE(prompt_.shown.empty());
    EXPECT_EQ(dismissed_, 0);
}

TEST_F(ProgramTableTest, QuietModeMatchDecidesAndStopsTheTable) {
    installed_[Key(L"Halvex")] = L"1.0";
    installed_[Key(L"Quorin")] = L"2.0";
    WriteCatalogue(Line(1, L"Halvex", L"1.1", false) + Line(7, L"Extra", L"1", false) +
                   Line(2, L"Quorin", L"2.0", false) + Line(9, L"Last", L"1", true));
    struct Case {
        const wchar_t* commandLine;
        int answer;
        StartupStep step;
        int count;
        size_t questions;
    };
    const auto question =
        std::make_pair(win::LoadStringLang(IDS_PROGRAM_UPDATE_AVAILABLE,
                                           MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK)),
                       static_cast<UINT>(MB_YESNO));
    for (const Case& c : {Case{L"Halvex", IDYES, StartupStep::Continue, 3, 1},
                          Case{L"Halvex", IDNO, StartupStep::Close, 1, 1},
                          Case{L"Quorin", IDYES, StartupStep::Close, 2, 0},
                          Case{L"Extra", IDYES, StartupStep::Continue, 3, 0},  // dropped
                          Case{L"halvex", IDYES, StartupStep::Continue, 3, 0}}) {
        SCOPED_TRACE(c.commandLine);
        startup_.commandLine = c.commandLine;
        prompt_.answer = c.answer;
        prompt_.shown.clear();
        dismissed_ = 0;
        EXPECT_EQ(Build(), c.step);
        EXPECT_EQ(table_.programCount, c.count);
        EXPECT_EQ(table_.records[c.count].nameEnglish, u"\n");  // nothing read after a close
        EXPECT_EQ(dismissed_, c.questions || c.step == StartupStep::Close ? 1 : 0);
        EXPECT_EQ(prompt_.shown, decltype(prompt_.shown)(c.questions, question));
    }
}

TEST_F(ProgramTableTest, CatalogueFetchDecidesWhetherStartUpGoesOn) {
    EXPECT_EQ(LoadProgramCatalogue(startup_, table_), StartupStep::Close);
    EXPECT_EQ(dismissed_, 1);
    WriteCatalogue(Line(9, L"Tool", L"1", true));
    ::DeleteFileW(CatalogueFilePath(root_.Root()).c_str());  // must come from the server
    EXPECT_EQ(LoadProgramCatalogue(startup_, table_), StartupStep::Continue);
    EXPECT_EQ(table_.programCount, 1);
    EXPECT_EQ(server_.requests,
              (std::vector<std::wstring>{L"tools/program_list.txt", L"tools/program_list.txt"}));
}

TEST_F(ProgramTableTest, HostileNamesAreListedButNothingIsWrittenOrOpenedForThem) {
    // Out of Pelmora's folders to <root>\escape, a device, a stream, trimmed names.
    std::wstring lines;
    for (const wchar_t* name : {L"..\\..\\..\\..\\escape", L"../../../../escape", L"CON",
                                L"x:escape", L"escape.", L"tab\tescape"})
        lines += Line(9, name, L"1.0", true);
    WriteCatalogue(lines + Line(9, L"Fine Tool", L"1.0", true));
    // Read through an unchecked name, this would be the downloaded version.
    ASSERT_TRUE(testsupport::WriteFileMakingFolders(root_.Root() + L"escape\\version.txt", "1.0"));
    root_.Publish(L"tools/image_version.txt", "s\ns\ns\ns\ns\ns\ns\n");

    EXPECT_EQ(Build(), StartupStep::Continue);
    ASSERT_EQ(table_.programCount, 7);
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(table_.records[i].downloadMatches) << i;
    SyncProgramImages(startup_.server, table_);
    std::vector<std::wstring> expected = {L"tools/image_version.txt"};
    for (const wchar_t* file : {L"kr", L"en", L"cn", L"jp", L"po"})
        expected.push_back(std::wstring(L"img/Fine Tool/") + file + L".bmp");
    std::sort(server_.requests.begin() + 1, server_.requests.end());  // fetched in parallel
    std::sort(expected.begin() + 1, expected.end());
    EXPECT_EQ(server_.requests, expected);
}

TEST_F(ProgramTableTest, SelfVersionIsReadInTheAnsiCodePage) {
    const std::wstring path = root_.Root() + L"Korvath\\tools\\Pelmora\\Pelmora.txt";
    std::wstring version;
    EXPECT_FALSE(ReadSelfVersion(path, version));
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "Pelmora v1.3.\xE9 (1252)\r\n"));
    EXPECT_TRUE(ReadSelfVersion(path, version));
    EXPECT_EQ(version, L"1.3.\u00E9 (1252)");
}

}  // namespace
}  // namespace pelmora
