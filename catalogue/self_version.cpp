#include "catalogue/self_version.h"

#include "app/settings.h"

namespace pelmora {

std::string SelfVersionFromLine(std::string_view line) {
    const size_t first = line.find('v');
    if (first == std::string_view::npos) return {};
    const size_t start = first + 1;
    const size_t second = line.find('v', start);
    return std::string(
        line.substr(start, second == std::string_view::npos ? second : second - start));
}

std::string SelfVersionFromFile(std::string_view fileBytes) {
    return SelfVersionFromLine(FirstTextLine(fileBytes));
}

}  // namespace pelmora
