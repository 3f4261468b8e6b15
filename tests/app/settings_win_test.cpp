#include "app/settings/interface_language_win.h"
#include "string_ids.h"
#include "win/files_win.h"
#include "win/string_resources_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/file_bytes_win.h"
#include <thread>

namespace pelmora {
namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(win::EnsureFolder(win::LocalRoot() + L"Korvath"));
        ASSERT_TRUE(win::EnsureFolder(win::LocalRoot() + L"Korvath\\tools"));
        ::DeleteFileW(SettingsFilePath().c_str());
    }
    void TearDown() override { ::DeleteFileW(SettingsFilePath().c_str()); }

    static void Write(const std::string& bytes) { ASSERT_TRUE(testsupport::WriteFileBytes(SettingsFilePath(), bytes)); }
    static std::string Read() { return testsupport::ReadFileBytes(SettingsFilePath()); }
};

TEST_F(SettingsFile, PolishAndEuropeGivePolishTexts) {
    Write("Language:Polish,Server:EUR");
    Settings settings;
    EXPECT_TRUE(ReadSettings(settings, std::nullopt));
    EXPECT_EQ(settings.language, Polish);
    EXPECT_EQ(settings.region, EUR);
    EXPECT_EQ(win::ThreadStringLanguage(), 1045);
    EXPECT_EQ(win::LoadText(IDS_CANCEL), win::LoadStringLang(IDS_CANCEL, 1045));
    EXPECT_NE(win::LoadText(IDS_CANCEL), L"Cancel");
}

TEST_F(SettingsFile, BlankAfterColonGivesEnglishButKeepsRegion) {
    Write("Language: Polish,Server:EUR\r\n");
    Settings settings;
    ReadSettings(settings, std::nullopt);
    EXPECT_EQ(settings.language, English);
    EXPECT_EQ(settings.region, EUR);
    EXPECT_EQ(win::LoadText(IDS_CANCEL), L"Cancel");
}

TEST_F(SettingsFile, LanguageFieldAloneGivesHq) {
    Write("Language:Japanese");
    Settings settings{Korean, CHNA};
    EXPECT_TRUE(ReadSettings(settings, std::nullopt));
    EXPECT_EQ(settings.language, Japanese);
    EXPECT_EQ(settings.region, HQ);
}

TEST_F(SettingsFile, RegionFixedByPolicyWinsWithOrWithoutFile) {
    Write("Language:German,Server:AMR");
    Settings settings;
    ReadSettings(settings, CHNA);
    EXPECT_EQ(settings.region, CHNA);
    ::DeleteFileW(SettingsFilePath().c_str());
    ReadSettings(settings, EUR);
    EXPECT_EQ(settings.region, EUR);
}

TEST_F(SettingsFile, ReportsChangeOnlyWhenSomethingDiffers) {
    Write("Language:German,Server:AMR");
    Settings settings{German, AMR};
    EXPECT_FALSE(ReadSettings(settings, std::nullopt));
    settings.region = EUR;
    EXPECT_TRUE(ReadSettings(settings, std::nullopt));
    EXPECT_EQ(settings.region, AMR);
}

TEST_F(SettingsFile, MissingFileDetectsSystemLanguageAndKeepsRegion) {
    Settings settings{Korean, CHNA};
    EXPECT_FALSE(ReadSettings(settings, std::nullopt));
    EXPECT_EQ(settings.language, LanguageForSystemLangId(::GetSystemDefaultLangID()));
    EXPECT_EQ(settings.region, CHNA);
    EXPECT_EQ(win::ThreadStringLanguage(), StringTableLangId(settings.language));
}

TEST_F(SettingsFile, WriteIsOneLineWithoutTerminatorAndReadsBack) {
    WriteSettings(French, CHNA);
    EXPECT_EQ(Read(), "Language:French,Server:CHNA");
    Settings settings;
    ReadSettings(settings, std::nullopt);
    EXPECT_EQ(settings.language, French);
    EXPECT_EQ(settings.region, CHNA);
    EXPECT_EQ(win::LoadText(IDS_CANCEL), win::LoadStringLang(IDS_CANCEL, 12));

    Write("Language:Korean,Server:AMR and some longer old content");
    WriteSettings(42, -1);  // truncates; out-of-range values are written as defaults
    EXPECT_EQ(Read(), "Language:English,Server:HQ");
}

TEST_F(SettingsFile, ReadWhileAnotherProgramHoldsTheFileOpen) {
    Write("Language:Turkish,Server:AMR");
    HANDLE held = ::CreateFileW(SettingsFilePath().c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Settings settings;
    ReadSettings(settings, std::nullopt);
    ::CloseHandle(held);
    EXPECT_EQ(settings.language, Turkish);
    EXPECT_EQ(settings.region, AMR);
}

TEST(InterfaceLanguage, IsPerThreadAndOutOfRangeIsBritishEnglish) {
    ApplyInterfaceLanguage(Korean);
    std::wstring workerText;
    std::thread worker([&] {
        ApplyInterfaceLanguage(German);
        workerText = win::LoadText(IDS_STATUS_DOWNLOADING);
    });
    worker.join();
    EXPECT_EQ(workerText, win::LoadStringLang(IDS_STATUS_DOWNLOADING, 7));
    EXPECT_EQ(win::LoadText(IDS_STATUS_DOWNLOADING),
              win::LoadStringLang(IDS_STATUS_DOWNLOADING, 1042));
    ApplyInterfaceLanguage(11);
    EXPECT_EQ(win::ThreadStringLanguage(), 2057);
    EXPECT_EQ(win::LoadText(IDS_ALREADY_RUNNING), L"Pelmora is already running.");
}

}  // namespace
}  // namespace pelmora
