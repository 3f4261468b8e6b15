// The settings line "Language:<word>,Server:<code>" and the language tables.
// Windows-free: the file's bytes are 8-bit text.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

enum InterfaceLanguage : int {
    Korean = 0, English = 1, Chinese = 2, Japanese = 3, Polish = 4, Romanian = 5,
    French = 6, Spanish = 7, Turkish = 8, Italian = 9, German = 10,
};
constexpr int kLanguageCount = 11;

enum ServerRegion : int { HQ = 0, AMR = 1, EUR = 2, CHNA = 3 };
constexpr int kRegionCount = 4;

// The region to use: one outside the four is the head office's.
constexpr int RegionOrHq(int region) { return region >= 0 && region < kRegionCount ? region : HQ; }

struct Settings {
    int language = Korean;
    int region = HQ;
};

// Word written in the settings file; "English" for an index outside 0..10.
const char* LanguageWord(int language);
// Code written in the settings file; "HQ" for an index outside 0..3.
const char* RegionCode(int region);
// LANGID given to the thread's UI language; 2057 outside 0..10.
uint16_t ThreadLangId(int language);
// LANGID of the string table holding the language's texts; 2057 outside 0..10.
uint16_t StringTableLangId(int language);

// The region of a code ("HQ", "AMR", "EUR", "CHNA"; letter case ignored).
std::optional<int> RegionFromName(std::string_view name);

// Parses the settings line: cut at the first comma; each side's value is the
// text after its first colon, compared case-sensitively and untrimmed.
// Unknown or empty words give English and HQ.
Settings ParseSettingsLine(std::string_view line);
std::string FormatSettingsLine(int language, int region);

// Interface language for the system's default LANGID (no settings file yet).
int LanguageForSystemLangId(uint16_t langId);

}  // namespace pelmora
