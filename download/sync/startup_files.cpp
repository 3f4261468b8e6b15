#include "download/sync/startup_files.h"

namespace pelmora {

namespace {

// `path` ends in `suffix` (lower case), any letter case.
bool EndsWith(std::u16string_view path, std::u16string_view suffix) {
    if (path.size() < suffix.size()) return false;
    const std::u16string_view tail = path.substr(path.size() - suffix.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        char16_t c = tail[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

}  // namespace

uint64_t StartupFileMaxBytes(std::u16string_view url) {
    const size_t end = url.find_first_of(u"?#");
    if (end != std::u16string_view::npos) url = url.substr(0, end);
    if (EndsWith(url, u".txt")) return kStartupTextFileMaxBytes;
    if (EndsWith(url, u".sig")) return kSignatureFileMaxBytes;
    if (EndsWith(url, u".db")) return kDatabaseMaxBytes;
    if (EndsWith(url, u".bmp")) return kPictureMaxBytes;
    return 0;
}

}  // namespace pelmora
