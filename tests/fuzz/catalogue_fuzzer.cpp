// Any bytes as the catalogue file: lines and fields must stay within their
// limits and every field must be a piece of its line.
#include "catalogue/model/catalogue_parser.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckField(const std::u16string& field, std::u16string_view line) {
    if (field == u"\n") return;  // not supplied: the cleared value
    Check(!field.empty() && field.find(u',') == std::u16string::npos);
    Check(line.find(field) != std::u16string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto lines = pelmora::CatalogueProgramLines(bytes);
    Check(lines.size() <= pelmora::kCatalogueMaxProgramLines);
    size_t units = 0;
    for (const auto& line : lines) {
        Check(!line.empty() && line.size() <= pelmora::kCatalogueMaxLineChars);
        Check(line.find(u'\n') == std::u16string::npos);
        units += line.size();
        pelmora::ProgramRecord record;
        pelmora::ParseProgramLine(line, record);
        for (const auto* field :
             {&record.nameKorean, &record.nameEnglish, &record.nameChinese, &record.nameJapanese,
              &record.serverVersion, &record.imageLocation, &record.packageLocation[0],
              &record.packageLocation[1], &record.packageLocation[2], &record.packageLocation[3]})
            CheckField(*field, line);
        Check(record.state == pelmora::NotLookedUp && !record.downloadMatches);
    }
    Check(units * 2 <= std::min(size, pelmora::kCatalogueMaxBytes));
    return 0;
}
