// The catalogue steps end to end: the catalogue fetched from the test server
// by the real transfer, installed states from real uninstall keys.
#include "catalogue/model/install_detection_win.h"
#include "catalogue/workflow/program_table_win.h"
#include "app/session/session_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"

#include <gtest/gtest.h>

#include "tests/support/fake_server_win.h"
#include "tests/support/test_root_win.h"
#include "tests/support/test_server_win.h"

namespace pelmora {
namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// An uninstall key with a DisplayVersion, removed again at the end of the test.
class UninstallKey {
public:
    UninstallKey(const std::wstring& name, const std::wstring& version, REGSAM view)
        : path_(kUninstall + name), view_(view) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0,
                              KEY_WRITE | view_, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            ::RegSetValueExW(key, L"DisplayVersion", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(version.c_str()),
                             static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
            ::RegCloseKey(key);
        }
    }
    ~UninstallKey() { ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), view_, 0); }

private:
    std::wstring path_;
    REGSAM view_;
};

class CatalogueFromServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Connect()) << "the test server fixture is not running";
        server_.Control("GET", "/__control/reset");
        startup_.server = Session(server_.Url(L"/cat/tools/"), std::nullopt, {}, root_.Root()).Server();
        startup_.installCheck = CheckInstalled;
        startup_.prompt = &prompt_;
        for (const wchar_t* folder : {L"Korvath", L"Korvath\\tools", L"Korvath\\tools\\Pelmora"})
            ::CreateDirectoryW((root_.Root() + folder).c_str(), nullptr);
    }

    testsupport::TestRoot root_{L"pelmora-catalogue-server-test"};
    testsupport::TestServer server_;
    testsupport::RecordingPrompt prompt_;
    CatalogueStartup startup_;
    ProgramTable table_;
};

TEST_F(CatalogueFromServer, StatesComeFromBothRegistryViewsAndTheDropRuleApplies) {
    UninstallKey halvex(L"Halvex", L"2.4.1", KEY_WOW64_64KEY);           // id 1, latest
    UninstallKey viewer(L"Model Viewer", L"0.9.2", KEY_WOW64_32KEY);     // 32-bit installer
    ASSERT_TRUE(server_.PutFile("/cat/tools/program_list.txt", testsupport::Utf16LeFile(
        L"id,ko,en,zh,ja,ver,list,img,hq,amr,eur,chna\n"
        L"1,\xD560,Halvex,h,h,2.4.1,FALSE,http://i/h,http://p/h,a,e,c\n"
        L"2,\xCFFC,Quorin,q,q,1.8.0,FALSE,http://i/q,http://p/q,a,e,c\n"    // not installed, not offered
        L"7,\xBAA8,Model Viewer,m,m,0.9.3,TRUE,http://i/m,http://p/m,a,e,c\n"
        L"3,\xD540,Pindral,p,p,3.0.2,TRUE,http://i/p,http://p/p,a,e,c\n")));

    ASSERT_EQ(LoadProgramCatalogue(startup_, table_), StartupStep::Continue);
    ASSERT_EQ(table_.programCount, 3);
    EXPECT_EQ(table_.records[0].nameEnglish, u"Halvex");
    EXPECT_EQ(table_.records[0].state, Latest);
    EXPECT_EQ(table_.records[1].nameEnglish, u"Model Viewer");
    EXPECT_EQ(table_.records[1].state, UpdateAvailable);  // found in the 32-bit view
    EXPECT_EQ(table_.records[1].setupFile, u"setup_light.exe");
    EXPECT_EQ(table_.records[2].nameEnglish, u"Pindral");
    EXPECT_EQ(table_.records[2].state, NotInstalled);
    EXPECT_EQ(table_.records[3].id, 0);  // cleared
    // The catalogue was fetched fresh, and no database stamp exists on this server.
    EXPECT_NE(server_.Log("/cat/tools/").find("GET /cat/tools/program_list.txt"), std::string::npos);
    EXPECT_TRUE(prompt_.shown.empty());
}

TEST_F(CatalogueFromServer, UnreachableCatalogueClosesWithoutAMessage) {
    ASSERT_TRUE(server_.SetRule("/cat/tools/program_list.txt", "status=500"));
    ASSERT_TRUE(server_.PutFile("/cat/tools/program_list.txt", testsupport::Utf16LeFile(L"h\n1,a,b\n")));
    bool dismissed = false;
    startup_.dismissSplash = [&] { dismissed = true; };
    EXPECT_EQ(LoadProgramCatalogue(startup_, table_), StartupStep::Close);
    EXPECT_TRUE(dismissed);
    EXPECT_EQ(table_.programCount, 0);
    EXPECT_TRUE(prompt_.shown.empty());
}

TEST_F(CatalogueFromServer, QuietModeClosesForAnUpToDateToolAndAsksForAnUpdate) {
    UninstallKey halvex(L"Halvex", L"2.4.0", KEY_WOW64_64KEY);
    UninstallKey pindral(L"Pindral", L"3.0.2", KEY_WOW64_64KEY);
    ASSERT_TRUE(server_.PutFile("/cat/tools/program_list.txt", testsupport::Utf16LeFile(
        L"header\n1,a,Halvex,c,d,2.4.1,TRUE,i,p,a,e,c\n3,a,Pindral,c,d,3.0.2,TRUE,i,p,a,e,c\n")));

    startup_.commandLine = L"Pindral";  // installed and up to date: close, no question
    EXPECT_EQ(LoadProgramCatalogue(startup_, table_), StartupStep::Close);
    EXPECT_TRUE(prompt_.shown.empty());

    startup_.commandLine = L"Halvex";  // an update exists: ask; No closes
    prompt_.answer = IDNO;
    EXPECT_EQ(LoadProgramCatalogue(startup_, table_), StartupStep::Close);
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].second, static_cast<UINT>(MB_YESNO));

    prompt_.answer = IDYES;  // Yes goes on with the start-up
    EXPECT_EQ(LoadProgramCatalogue(startup_, table_), StartupStep::Continue);
    EXPECT_EQ(table_.programCount, 2);
}

}  // namespace
}  // namespace pelmora
