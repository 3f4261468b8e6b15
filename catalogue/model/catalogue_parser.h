// The catalogue "program_list.txt": UTF-16 little-endian, one header line,
// then one program per line with comma-separated fields.
#pragma once
#include "catalogue/model/program_record.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

constexpr size_t kCatalogueMaxBytes = 80000;
constexpr size_t kCatalogueMaxProgramLines = kProgramTableSize;
constexpr size_t kCatalogueMaxLineChars = 999;

// The program lines of the file's raw bytes. Only the first 80000 bytes
// count and an odd last byte is dropped; the units are taken as they are
// (no byte-order mark handling, no surrogate checks). Runs of LF separate
// lines, so no line is empty; the first line is the header and is dropped.
// At most 20 lines, each cut to 999 units; a CR before an LF stays.
std::vector<std::u16string> CatalogueProgramLines(std::string_view fileBytes);

// The decimal value of a leading number as _wtoi reads it: leading white
// space, an optional sign, digits; 0 without digits, clamped to int range.
int32_t LeadingInt(std::u16string_view text);

// Clears the record and fills catalogue fields 1 to 12 from the line. Runs
// of commas separate fields, so an empty field shifts the later ones left;
// nothing is trimmed. Beyond the twelfth, only installer digest fields count
// (see ParseInstallerDigest); anything else there is ignored.
void ParseProgramLine(std::u16string_view line, ProgramRecord& record);

// An installer digest field names its file, so that an absent field cannot
// shift one digest into the other's place:
//   setup.exe=sha256:<64 hex digits>
//   setup_light.exe=sha256:<64 hex digits>
// A CR ending the line is ignored. False (record unchanged) for anything else.
bool ParseInstallerDigest(std::u16string_view field, ProgramRecord& record);

// The digest the catalogue gives for the record's installer (setupFile), if any.
const std::optional<Sha256Digest>& ExpectedInstallerDigest(const ProgramRecord& record);

}  // namespace pelmora
