#include "catalogue/model/catalogue_parser.h"

#include <climits>

namespace pelmora {
namespace {

// Non-empty pieces of `text` between runs of `separator`, as wcstok gives them.
template <typename Visit>
void ForEachToken(std::u16string_view text, char16_t separator, Visit visit) {
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == separator) ++pos;
        if (pos == text.size()) break;
        size_t end = text.find(separator, pos);
        if (end == std::u16string_view::npos) end = text.size();
        if (!visit(text.substr(pos, end - pos))) return;
        pos = end;
    }
}

std::u16string DecodeUtf16Le(std::string_view bytes) {
    if (bytes.size() > kCatalogueMaxBytes) bytes = bytes.substr(0, kCatalogueMaxBytes);
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const auto low = static_cast<unsigned char>(bytes[2 * i]);
        const auto high = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = static_cast<char16_t>(low | (high << 8));
    }
    return text;
}

// Fields after the twelfth that are looked at for installer digests.
constexpr int kMaxExtraFields = 8;

bool IsCrtSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

}  // namespace

std::vector<std::u16string> CatalogueProgramLines(std::string_view fileBytes) {
    const std::u16string text = DecodeUtf16Le(fileBytes);
    std::vector<std::u16string> lines;
    bool header = true;
    ForEachToken(text, u'\n', [&](std::u16string_view line) {
        if (header) {
            header = false;
            return true;
        }
        lines.emplace_back(line.substr(0, kCatalogueMaxLineChars));
        return lines.size() < kCatalogueMaxProgramLines;
    });
    return lines;
}

int32_t LeadingInt(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCrtSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;  // clamped below either way
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int32_t>(value);
}

void ParseProgramLine(std::u16string_view line, ProgramRecord& record) {
    record.Clear();
    int field = 0;
    ForEachToken(line, u',', [&](std::u16string_view value) {
        switch (field) {
        case 0: record.id = LeadingInt(value); break;
        case 1: record.nameKorean.assign(value); break;
        case 2: record.nameEnglish.assign(value); break;
        case 3: record.nameChinese.assign(value); break;
        case 4: record.nameJapanese.assign(value); break;
        case 5: record.serverVersion.assign(value); break;
        case 6: record.listAlways = value.substr(0, 4) == u"TRUE"; break;
        case 7: record.imageLocation.assign(value); break;
        default:
            if (field < 8 + kPackageRegionCount)
                record.packageLocation[field - 8].assign(value);
            else
                ParseInstallerDigest(value, record);
            break;
        }
        return ++field < 8 + kPackageRegionCount + kMaxExtraFields;
    });
}

bool ParseInstallerDigest(std::u16string_view field, ProgramRecord& record) {
    if (!field.empty() && field.back() == u'\r') field.remove_suffix(1);
    const size_t equals = field.find(u'=');
    if (equals == std::u16string_view::npos) return false;
    const std::u16string_view file = field.substr(0, equals);
    std::u16string_view value = field.substr(equals + 1);
    constexpr std::u16string_view kScheme = u"sha256:";
    if (value.substr(0, kScheme.size()) != kScheme) return false;
    value.remove_prefix(kScheme.size());
    std::optional<Sha256Digest>* slot = nullptr;
    if (file == kSetupFile)
        slot = &record.setupDigest;
    else if (file == kSetupLightFile)
        slot = &record.setupLightDigest;
    const std::optional<Sha256Digest> digest = ParseSha256Hex(value);
    if (!slot || !digest || *slot) return false;  // the first valid field wins
    *slot = digest;
    return true;
}

const std::optional<Sha256Digest>& ExpectedInstallerDigest(const ProgramRecord& record) {
    return record.setupFile == kSetupLightFile ? record.setupLightDigest : record.setupDigest;
}

}  // namespace pelmora
