#include "download/sync/stale_files.h"

#include "catalogue/model/program_record.h"

namespace pelmora {
namespace {

// The leading decimal digits of `text` (at least one, at most nine), removed from it.
std::optional<uint32_t> TakeNumber(std::u16string_view& text) {
    uint32_t value = 0;
    size_t digits = 0;
    while (digits < text.size() && digits < 10 && text[digits] >= u'0' && text[digits] <= u'9')
        value = value * 10 + static_cast<uint32_t>(text[digits++] - u'0');
    if (digits == 0 || digits > 9) return std::nullopt;
    text.remove_prefix(digits);
    return value;
}

}  // namespace

std::optional<uint32_t> TemporaryFileOwner(std::u16string_view fileName) {
    constexpr std::u16string_view kMark = u".part-";
    const size_t mark = fileName.rfind(kMark);
    if (mark == std::u16string_view::npos || mark == 0) return std::nullopt;
    std::u16string_view rest = fileName.substr(mark + kMark.size());
    const std::optional<uint32_t> pid = TakeNumber(rest);
    if (!pid || rest.empty() || rest.front() != u'-') return std::nullopt;
    rest.remove_prefix(1);
    if (!TakeNumber(rest) || !rest.empty()) return std::nullopt;
    return pid;
}

bool IsPelmoraToolsFileName(std::u16string_view fileName) {
    for (const std::u16string_view own :
         {u"config.txt", u"db_version.txt", u"db_version.txt.server", u"modelinfo_hq.db",
          u"modelinfo_amr.db", u"modelinfo_eur.db", u"modelinfo_chna.db"})
        if (fileName == own) return true;
    constexpr std::u16string_view kReleaseNote = u"ReleaseNote.txt";
    return fileName.size() > kReleaseNote.size() &&
           fileName.substr(fileName.size() - kReleaseNote.size()) == kReleaseNote;
}

bool IsPelmoraToolsTemporary(std::u16string_view fileName) {
    if (!TemporaryFileOwner(fileName)) return false;
    return IsPelmoraToolsFileName(fileName.substr(0, fileName.rfind(u".part-")));
}

bool IsRetryInstallerName(std::u16string_view fileName) {
    if (fileName.empty() || fileName.front() != u'_') return false;
    fileName.remove_prefix(1);
    if (!TakeNumber(fileName)) return false;
    return fileName == kSetupFile || fileName == kSetupLightFile;
}

}  // namespace pelmora
