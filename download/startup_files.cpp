#include "download/startup_files.h"

namespace pelmora {

uint64_t StartupFileMaxBytes(std::u16string_view url) {
    const size_t end = url.find_first_of(u"?#");
    if (end != std::u16string_view::npos) url = url.substr(0, end);
    constexpr std::u16string_view kText = u".txt";
    if (url.size() < kText.size()) return 0;
    const std::u16string_view tail = url.substr(url.size() - kText.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        char16_t c = tail[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != kText[i]) return 0;
    }
    return kStartupTextFileMaxBytes;
}

}  // namespace pelmora
