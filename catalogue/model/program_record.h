// One catalogue entry as the main window keeps it, and the table of 20.
#pragma once
#include "app/settings/settings.h"
#include "catalogue/model/install_state.h"
#include "catalogue/model/safe_name.h"
#include "trust/sha256.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

constexpr int kProgramTableSize = 20;
constexpr int kPackageRegionCount = kRegionCount;  // a folder per server region

// The installer of a new installation, and of an update.
inline constexpr std::u16string_view kSetupFile = u"setup.exe";
inline constexpr std::u16string_view kSetupLightFile = u"setup_light.exe";

struct ProgramRecord {
    ProgramRecord() { Clear(); }

    // Every text field becomes one LF, not empty: a field the catalogue line
    // does not supply keeps that value.
    void Clear();

    int32_t id;
    std::u16string nameKorean;
    std::u16string nameEnglish;  // also the program's folder, key and file-name prefix
    std::u16string nameChinese;
    std::u16string nameJapanese;
    std::u16string serverVersion;
    bool listAlways;
    std::u16string imageLocation;
    std::array<std::u16string, kPackageRegionCount> packageLocation;
    std::u16string setupFile;
    // Digests the catalogue publishes for the two installers, when it does.
    std::optional<Sha256Digest> setupDigest;       // "setup.exe"
    std::optional<Sha256Digest> setupLightDigest;  // "setup_light.exe"
    InstallState state;
    bool downloadMatches;
    int32_t retryNumber;
    // Which of the catalogue's program lines this is (0-based, counting the
    // lines that are not listed here too); -1 when not from the catalogue.
    int32_t catalogueLine;
};

struct ProgramTable {
    std::array<ProgramRecord, kProgramTableSize> records;  // constructed cleared
    int programCount = 0;
    int catalogueLineCount = 0;  // program lines in the catalogue, listed or not
    // The longest English name usable in paths below the root the catalogue
    // was read for (NameLengthLimit).
    size_t nameLengthLimit = kMaxSafeNameLength;
};

}  // namespace pelmora
