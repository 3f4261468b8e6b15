// Any bytes as the settings file: the parse must stay in range and the line
// written back from it must parse to the same settings.
#include "app/settings/settings.h"
#include "win/text_line.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const pelmora::Settings parsed = pelmora::ParseSettingsLine(pelmora::FirstTextLine(bytes));
    if (parsed.language < 0 || parsed.language >= pelmora::kLanguageCount) std::abort();
    if (parsed.region < 0 || parsed.region >= pelmora::kRegionCount) std::abort();
    const pelmora::Settings again = pelmora::ParseSettingsLine(
        pelmora::FormatSettingsLine(parsed.language, parsed.region));
    if (again.language != parsed.language || again.region != parsed.region) std::abort();
    return 0;
}
