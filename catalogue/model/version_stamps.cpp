#include "catalogue/model/version_stamps.h"

#include "win/text_line.h"

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

std::string ImageStampsToKeep(const std::vector<std::string>& oldStamps,
                              const std::vector<std::string>& newStamps,
                              const std::vector<bool>& complete) {
    std::string file;
    for (size_t j = 0; j < newStamps.size(); ++j) {
        const std::string_view old = StampAt(oldStamps, j);
        if (j < complete.size() && complete[j])
            file += newStamps[j];
        else if (!old.empty() && old != newStamps[j])
            file += old;
        else
            file += newStamps[j] + " (incomplete)";
        file += "\r\n";
    }
    return file;
}

}  // namespace pelmora
