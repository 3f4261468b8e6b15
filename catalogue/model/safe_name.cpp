#include "catalogue/model/safe_name.h"

namespace pelmora {
namespace {

char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c;
}

bool EqualsUpper(std::u16string_view text, std::u16string_view upper) {
    if (text.size() != upper.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (AsciiUpper(text[i]) != upper[i]) return false;
    return true;
}

bool IsDeviceDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
}

// Windows maps these names to devices in any folder, whatever follows the
// first dot and with trailing blanks before it ignored.
bool IsDeviceName(std::u16string_view name) {
    std::u16string_view base = name.substr(0, name.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
    for (std::u16string_view device :
         {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$", u"CLOCK$"})
        if (EqualsUpper(base, device)) return true;
    if (base.size() == 4 && IsDeviceDigit(base[3])) {
        const std::u16string_view stem = base.substr(0, 3);
        return EqualsUpper(stem, u"COM") || EqualsUpper(stem, u"LPT");
    }
    return false;
}

}  // namespace

std::string_view FileNameProblem(std::u16string_view name, size_t maxLength) {
    if (name.empty()) return "empty name";
    if (name.size() > maxLength) return "name too long";
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c < 0x20) return "control character in name";
        if (std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos)
            return "path separator or reserved character in name";
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (low) return "unpaired surrogate in name";
        if (high) {
            if (i + 1 == name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF)
                return "unpaired surrogate in name";
            ++i;
        }
    }
    // Also covers "." and "..": the file system drops a trailing dot or blank.
    if (name.back() == u'.' || name.back() == u' ') return "name ends in a dot or a blank";
    if (IsDeviceName(name)) return "device name";
    return {};
}

size_t NameLengthLimit(size_t localRootLength) {
    if (localRootLength + kPathBeyondName >= kMaxPathLength) return 0;
    const size_t fits = kMaxPathLength - localRootLength - kPathBeyondName;
    return fits < kMaxSafeNameLength ? fits : kMaxSafeNameLength;
}

std::u16string PrintableName(std::u16string_view name) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    for (char16_t c : name) {
        if (c < 0x20) {
            out += u"\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace pelmora
