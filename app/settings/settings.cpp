#include "app/settings/settings.h"

namespace pelmora {
namespace {

struct LanguageRow {
    const char* word;
    uint16_t threadLangId;
    uint16_t tableLangId;
};

constexpr LanguageRow kLanguages[kLanguageCount] = {
    {"Korean", 1042, 1042},   {"English", 2057, 2057}, {"Chinese", 4100, 4100},
    {"Japanese", 1041, 1041}, {"Polish", 1045, 1045},  {"Romanian", 1048, 24},
    {"French", 1036, 12},     {"Spanish", 1034, 10},   {"Turkish", 1055, 31},
    {"Italian", 1040, 16},    {"German", 1031, 7},
};

constexpr const char* kRegionCodes[kRegionCount] = {"HQ", "AMR", "EUR", "CHNA"};

bool ValidLanguage(int language) { return language >= 0 && language < kLanguageCount; }

std::string_view AfterFirstColon(std::string_view part) {
    const size_t colon = part.find(':');
    return colon == std::string_view::npos ? std::string_view() : part.substr(colon + 1);
}

}  // namespace

const char* LanguageWord(int language) {
    return kLanguages[ValidLanguage(language) ? language : English].word;
}

const char* RegionCode(int region) {
    return kRegionCodes[RegionOrHq(region)];
}

uint16_t ThreadLangId(int language) {
    return kLanguages[ValidLanguage(language) ? language : English].threadLangId;
}

uint16_t StringTableLangId(int language) {
    return kLanguages[ValidLanguage(language) ? language : English].tableLangId;
}

std::optional<int> RegionFromName(std::string_view name) {
    for (int region = 0; region < kRegionCount; ++region) {
        const std::string_view code = kRegionCodes[region];
        bool same = code.size() == name.size();
        for (size_t i = 0; same && i < code.size(); ++i)
            same = (name[i] >= 'a' && name[i] <= 'z' ? name[i] - 32 : name[i]) == code[i];
        if (same) return region;
    }
    return std::nullopt;
}

Settings ParseSettingsLine(std::string_view line) {
    const size_t comma = line.find(',');
    const std::string_view languagePart = line.substr(0, comma);
    const std::string_view regionPart =
        comma == std::string_view::npos ? std::string_view() : line.substr(comma + 1);
    const std::string_view word = AfterFirstColon(languagePart);
    const std::string_view code = AfterFirstColon(regionPart);

    Settings settings{English, HQ};
    for (int i = 0; i < kLanguageCount; ++i)
        if (word == kLanguages[i].word) settings.language = i;
    for (int i = 0; i < kRegionCount; ++i)
        if (code == kRegionCodes[i]) settings.region = i;
    return settings;
}

std::string FormatSettingsLine(int language, int region) {
    return std::string("Language:") + LanguageWord(language) + ",Server:" + RegionCode(region);
}

int LanguageForSystemLangId(uint16_t langId) {
    switch (langId) {
    case 1042: case 2066:
        return Korean;
    case 1041:
        return Japanese;
    case 1028: case 2052: case 3076: case 4100:
        return Chinese;
    case 1031: case 2055: case 3079: case 4103: case 5127:
        return German;
    case 1036: case 2060: case 3084: case 4108: case 5132:
        return French;
    case 1040: case 2064:
        return Italian;
    case 1045:
        return Polish;
    case 1055:
        return Turkish;
    default:
        break;
    }
    const unsigned primary = langId & 0x3FFu;
    const unsigned sublanguage = langId >> 10;
    if (primary == 0x0A && sublanguage >= 1 && sublanguage <= 20) return Spanish;
    return English;
}

}  // namespace pelmora
