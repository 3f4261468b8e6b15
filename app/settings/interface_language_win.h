// Reading and writing the settings file, and selecting the interface language.
#pragma once
#include "app/settings/settings.h"

#include <optional>
#include <string>

namespace pelmora {

// <local root>Korvath\tools\config.txt
std::wstring SettingsFilePath();

// Reads the settings file into `settings` and applies its language. Without
// a readable file the language is detected from the system and the region is
// kept. A region fixed by the machine's policy (`fixedRegion`) wins over
// the file's. Returns whether language or region changed.
bool ReadSettings(Settings& settings, std::optional<int> fixedRegion);

// Makes the calling thread's texts come from the language's string table.
void ApplyInterfaceLanguage(int language);

// Chooses and applies the language from the system default language.
void DetectSystemLanguage(Settings& settings);

// Writes "Language:<word>,Server:<code>" without a line end; a file that
// cannot be created is silently not written.
void WriteSettings(int language, int region);

}  // namespace pelmora
