#include "catalogue/version_stamps.h"

#include "app/settings.h"

namespace pelmora {

std::string DatabaseStamp(std::string_view fileBytes) {
    return FirstTextLine(fileBytes);
}

std::vector<std::string> ImageStamps(std::string_view fileBytes) {
    std::vector<std::string> stamps;
    while (stamps.size() < kMaxImageStamps) {
        std::string line = FirstTextLine(fileBytes);
        if (line.empty()) break;
        const size_t lf = fileBytes.find('\n');
        fileBytes = lf == std::string_view::npos ? std::string_view() : fileBytes.substr(lf + 1);
        stamps.push_back(std::move(line));
    }
    return stamps;
}

std::string_view StampAt(const std::vector<std::string>& stamps, size_t j) {
    return j < stamps.size() ? std::string_view(stamps[j]) : std::string_view();
}

}  // namespace pelmora
