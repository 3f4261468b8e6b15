#include "app/settings/interface_language_win.h"

#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/handles_win.h"
#include "win/string_resources_win.h"
#include "win/text_line.h"
#include "win/text_win.h"

#include <windows.h>

namespace pelmora {
namespace {

constexpr DWORD kMaxSettingsBytes = 64 * 1024;  // the file holds one short line

bool ReadFileStart(const std::wstring& path, std::string& bytes) {
    win::File file(::CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bytes.assign(kMaxSettingsBytes, '\0');
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), kMaxSettingsBytes, &read, nullptr)) return false;
    bytes.resize(read);
    return true;
}

bool IsVistaOrLater() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&info)) return true;
#pragma GCC diagnostic pop
    return info.dwMajorVersion >= 6;
}

}  // namespace

std::wstring SettingsFilePath() { return win::LocalRoot() + L"Korvath\\tools\\config.txt"; }

void ApplyInterfaceLanguage(int language) {
    const LANGID threadLang = ThreadLangId(language);
    if (IsVistaOrLater())
        ::SetThreadUILanguage(threadLang);
    else
        ::SetThreadLocale(MAKELCID(threadLang, SORT_DEFAULT));
    // The call above is a stub under Wine; texts are loaded by this language.
    win::SetThreadStringLanguage(StringTableLangId(language));
}

void DetectSystemLanguage(Settings& settings) {
    const LANGID system = ::GetSystemDefaultLangID();
    settings.language = LanguageForSystemLangId(system);
    ApplyInterfaceLanguage(settings.language);
    win::Diag(L"[Pelmora]No settings file: system language " + std::to_wstring(system) +
              L" gives interface language " + std::to_wstring(settings.language) + L"\n");
}

bool ReadSettings(Settings& settings, std::optional<int> fixedRegion) {
    const Settings before = settings;
    std::string bytes;
    if (!ReadFileStart(SettingsFilePath(), bytes)) {
        DetectSystemLanguage(settings);
        if (fixedRegion) settings.region = *fixedRegion;
        return false;
    }
    const Settings parsed = ParseSettingsLine(FirstTextLine(bytes));
    settings.language = parsed.language;
    // The machine's policy fixes the region over the user's file.
    settings.region = fixedRegion.value_or(parsed.region);
    ApplyInterfaceLanguage(settings.language);
    return settings.language != before.language || settings.region != before.region;
}

void WriteSettings(int language, int region) {
    const std::string line = FormatSettingsLine(language, region);
    // Whole or not at all: a cut line would read as other settings.
    if (!win::ReplaceFileWith(SettingsFilePath(), line))
        win::Diag(L"[Pelmora]Settings could not be written to " + SettingsFilePath() + L": " +
                  win::ErrorCodeText(::GetLastError()) + L"\n");
}

}  // namespace pelmora
