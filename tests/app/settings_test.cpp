#include "app/settings/settings.h"
#include "win/text_line.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(SettingsLine, ReadsEveryLanguageAndRegionWrittenByFormat) {
    for (int language = 0; language < kLanguageCount; ++language) {
        for (int region = 0; region < kRegionCount; ++region) {
            const Settings parsed = ParseSettingsLine(FormatSettingsLine(language, region));
            EXPECT_EQ(parsed.language, language);
            EXPECT_EQ(parsed.region, region);
        }
    }
}

TEST(SettingsLine, FormatIsTheExactFileLine) {
    EXPECT_EQ(FormatSettingsLine(Polish, EUR), "Language:Polish,Server:EUR");
    EXPECT_EQ(FormatSettingsLine(Korean, HQ), "Language:Korean,Server:HQ");
    EXPECT_EQ(FormatSettingsLine(German, CHNA), "Language:German,Server:CHNA");
    // Out-of-range values are written as the defaults.
    EXPECT_EQ(FormatSettingsLine(11, 4), "Language:English,Server:HQ");
    EXPECT_EQ(FormatSettingsLine(-1, -1), "Language:English,Server:HQ");
}

TEST(SettingsLine, MalformedLinesGiveEnglishAndHq) {
    struct Case {
        const char* line;
        int language;
        int region;
    } cases[] = {
        {"Language:Polish,Server:EUR", Polish, EUR},
        {"Language: Polish,Server:EUR", English, EUR},  // blanks are not trimmed
        {"Language:Japanese", Japanese, HQ},            // region field missing
        {"Language:polish,Server:eur", English, HQ},    // case-sensitive
        {"", English, HQ},
        {"Polish,EUR", English, HQ},                     // no colons: empty values
        {"X:German,Y:AMR", German, AMR},                 // words before colons are not examined
        {"Language:German:x,Server:AMR", English, AMR},  // value runs to the comma
        {"Language:German,Server:AMR,extra", German, HQ},  // region value runs to the line end
        {"Language:Korean,Server:CHNA ", Korean, HQ},    // trailing blank
        {",Server:EUR", English, EUR},
        {"Language:Romanian,Server:AMR\r", Romanian, HQ},  // a lone CR stays in the value
    };
    for (const Case& c : cases) {
        const Settings parsed = ParseSettingsLine(c.line);
        EXPECT_EQ(parsed.language, c.language) << c.line;
        EXPECT_EQ(parsed.region, c.region) << c.line;
    }
}

TEST(SettingsLine, FirstTextLineEndsAtLineFeedAndDropsCrLf) {
    EXPECT_EQ(FirstTextLine("Language:French,Server:HQ\r\nsecond"), "Language:French,Server:HQ");
    EXPECT_EQ(FirstTextLine("abc\ndef"), "abc");
    EXPECT_EQ(FirstTextLine("abc"), "abc");
    EXPECT_EQ(FirstTextLine("a\rb\r"), "a\rb\r");
    EXPECT_EQ(FirstTextLine(""), "");
    EXPECT_EQ(FirstTextLine("\n"), "");
}

TEST(LanguageTables, ThreadAndStringTableIds) {
    const uint16_t thread[] = {1042, 2057, 4100, 1041, 1045, 1048, 1036, 1034, 1055, 1040, 1031};
    const uint16_t table[] = {1042, 2057, 4100, 1041, 1045, 24, 12, 10, 31, 16, 7};
    for (int i = 0; i < kLanguageCount; ++i) {
        EXPECT_EQ(ThreadLangId(i), thread[i]) << i;
        EXPECT_EQ(StringTableLangId(i), table[i]) << i;
    }
    EXPECT_EQ(ThreadLangId(11), 2057);
    EXPECT_EQ(StringTableLangId(-3), 2057);
}

TEST(SystemLanguage, EveryListedIdMapsToItsLanguage) {
    struct Case {
        uint16_t id;
        int language;
    } cases[] = {
        {1042, Korean},  {2066, Korean},  {1041, Japanese}, {1028, Chinese}, {2052, Chinese},
        {3076, Chinese}, {4100, Chinese}, {1031, German},   {2055, German},  {3079, German},
        {4103, German},  {5127, German},  {1036, French},   {2060, French},  {3084, French},
        {4108, French},  {5132, French},  {1040, Italian},  {2064, Italian}, {1045, Polish},
        {1055, Turkish}, {1048, English}, {1033, English},  {2057, English}, {0, English},
        {6151, English},  // German in Liechtenstein is not in the table
        {1024, English},  // Spanish primary language with sublanguage 0
    };
    for (const Case& c : cases) EXPECT_EQ(LanguageForSystemLangId(c.id), c.language) << c.id;
}

TEST(SystemLanguage, SpanishSublanguagesOneToTwenty) {
    for (unsigned sub = 0; sub < 64; ++sub) {
        const uint16_t id = static_cast<uint16_t>((sub << 10) | 0x0A);
        EXPECT_EQ(LanguageForSystemLangId(id), sub >= 1 && sub <= 20 ? Spanish : English) << id;
    }
}

}  // namespace
}  // namespace pelmora

namespace pelmora {
namespace {

TEST(SettingsLine, RegionNamesOfThePolicy) {
    EXPECT_EQ(RegionFromName("HQ"), HQ);
    EXPECT_EQ(RegionFromName("amr"), AMR);
    EXPECT_EQ(RegionFromName("Eur"), EUR);
    EXPECT_EQ(RegionFromName("CHNA"), CHNA);
    for (const char* bad : {"", "CHN", "CHNA ", "EU", "1"}) EXPECT_FALSE(RegionFromName(bad)) << bad;
}

}  // namespace
}  // namespace pelmora
