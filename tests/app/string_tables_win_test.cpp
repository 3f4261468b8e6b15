#include "app/settings/settings.h"
#include "string_ids.h"
#include "win/string_resources_win.h"

#include <gtest/gtest.h>

#include <set>

namespace pelmora {
namespace {

std::vector<UINT> AllIds() {
    std::vector<UINT> ids{IDS_ABOUTBOX, IDS_INSTALLER_CHANGED, IDS_FOLDER_NOT_WRITABLE,
                          IDS_SELF_UPDATE_NOT_STARTED, IDS_STATUS_CHECKING};
    for (UINT id = IDS_FIRST_MESSAGE; id <= IDS_LAST_MESSAGE; ++id) ids.push_back(id);
    return ids;
}

TEST(StringTables, EveryIdIsPresentAndNonEmptyInEveryLanguage) {
    for (int language = 0; language < kLanguageCount; ++language) {
        const LANGID lang = StringTableLangId(language);
        for (UINT id : AllIds())
            EXPECT_FALSE(win::LoadStringLang(id, lang).empty()) << "lang " << lang << " id " << id;
    }
}

TEST(StringTables, EnglishHoldsTheProductTexts) {
    const LANGID en = 2057;
    EXPECT_EQ(win::LoadStringLang(IDS_SETTING, en), L"    Setting");
    EXPECT_EQ(win::LoadStringLang(IDS_NO_INTERNET, en), L"Unable to access to the internet.");
    EXPECT_EQ(win::LoadStringLang(IDS_SELF_UPDATE_FOUND, en),
              L"The new version of Pelmora is found. Install Now?");
    EXPECT_EQ(win::LoadStringLang(IDS_ALREADY_RUNNING, en), L"Pelmora is already running.");
    EXPECT_EQ(win::LoadStringLang(IDS_DOWNLOAD_RETRY, en), L"Failed to download. Try agian?");
    EXPECT_EQ(win::LoadStringLang(IDS_ABOUTBOX, en), L"Pelmora \xC815\xBCF4(&A)...");
}

TEST(StringTables, EachLanguageHasItsOwnTranslation) {
    // Every table must be a translation, not a copy of the English one: the
    // sentences that a user reads most differ from English in all ten.
    for (int language = 0; language < kLanguageCount; ++language) {
        if (language == English) continue;
        const LANGID lang = StringTableLangId(language);
        for (UINT id : {IDS_ALREADY_RUNNING, IDS_NO_INTERNET, IDS_SELF_UPDATE_FOUND})
            EXPECT_NE(win::LoadStringLang(id, lang), win::LoadStringLang(id, 2057))
                << "lang " << lang << " id " << id;
        EXPECT_EQ(win::LoadStringLang(IDS_SETTING, lang).rfind(L"    ", 0), 0u) << lang;
    }
    std::set<std::wstring> distinct;
    for (int language = 0; language < kLanguageCount; ++language)
        distinct.insert(win::LoadStringLang(IDS_ALREADY_RUNNING, StringTableLangId(language)));
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kLanguageCount));
}

TEST(StringTables, UnknownIdOrLanguageIsEmpty) {
    EXPECT_TRUE(win::LoadStringLang(2036, 2057).empty());
    win::SetThreadStringLanguage(0x0436);  // Afrikaans: no such table
    EXPECT_EQ(win::LoadText(IDS_CANCEL), L"Cancel");  // falls back to British English
    win::SetThreadStringLanguage(2057);
}

}  // namespace
}  // namespace pelmora
