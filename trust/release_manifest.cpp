#include "trust/release_manifest.h"

#include "trust/signed_files.h"

#include <algorithm>

namespace pelmora {
namespace {

constexpr std::string_view kFormatLine = "pelmora-release 1";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool IsAbsolute(std::string_view url) {
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Why an entry's URL cannot name a file Pelmora fetches, or empty.
std::string UrlProblem(std::string_view url) {
    if (url.empty()) return "no URL";
    for (const char c : url)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "control character in URL";
    if (url.back() == ' ') return "URL ends in a blank";
    if (IsAbsolute(url)) return {};
    if (url.front() == '/' || url.find("://") != std::string_view::npos)
        return "URL neither relative to the base URL nor http:// or https://";
    return {};
}

std::string LineProblem(size_t number, const std::string& what) {
    return "line " + std::to_string(number) + ": " + what;
}

std::optional<ReleaseEntry> ReadEntry(std::string_view line, std::string& problem) {
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) {
        problem = "not \"<size> <sha256> <url>\"";
        return std::nullopt;
    }
    const std::optional<uint64_t> size = ParseSerial(line.substr(0, blank));
    if (!size || line.substr(0, blank).find_first_of("\r\n") != std::string_view::npos) {
        problem = "size is not a decimal number";
        return std::nullopt;
    }
    line.remove_prefix(blank + 1);
    ReleaseEntry entry;
    entry.size = *size;
    const std::string_view hex = line.substr(0, 64);
    if (line.size() < 66 || line[64] != ' ' ||
        !ParseHexBytes(std::u16string(hex.begin(), hex.end()), entry.digest.data(),
                       entry.digest.size())) {
        problem = "no SHA-256 of 64 hex digits after the size";
        return std::nullopt;
    }
    entry.url = std::string(line.substr(65));
    problem = UrlProblem(entry.url);
    if (!problem.empty()) return std::nullopt;
    return entry;
}

// A lower-case word followed by a blank: a kind of line, known or not.
std::string_view Keyword(std::string_view line) {
    size_t n = 0;
    while (n < line.size() && ((line[n] >= 'a' && line[n] <= 'z') || line[n] == '-' ||
                               (n > 0 && line[n] >= '0' && line[n] <= '9')))
        ++n;
    if (n == 0 || (n < line.size() && line[n] != ' ')) return {};
    // "<word> <64 hex digits> ..." is a file's entry whose size does not read.
    const std::string_view rest = line.substr(std::min(n + 1, line.size()));
    bool digest = rest.size() > 64 && rest[64] == ' ';
    for (size_t i = 0; digest && i < 64; ++i) digest = HexValue(rest[i]) >= 0;
    return digest ? std::string_view() : line.substr(0, n);
}

// "args <arguments> <url>": the arguments with %XX decoded.
bool ReadArguments(std::string_view line, std::string& arguments, std::string& url,
                   std::string& problem) {
    line.remove_prefix(std::min<size_t>(5, line.size()));  // "args" and its blank
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank == 0) {
        problem = "not \"args <arguments> <url>\"";
        return false;
    }
    arguments.clear();
    for (size_t i = 0; i < blank; ++i) {
        const char c = line[i];
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            problem = "control character in arguments";
            return false;
        }
        if (c == '%') {
            if (i + 2 >= blank || HexValue(line[i + 1]) < 0 || HexValue(line[i + 2]) < 0) {
                problem = "a % in arguments is not followed by two hex digits";
                return false;
            }
            const char decoded =
                static_cast<char>(HexValue(line[i + 1]) << 4 | HexValue(line[i + 2]));
            if (static_cast<unsigned char>(decoded) < 0x20 || decoded == 0x7F) {
                problem = "control character in arguments";
                return false;
            }
            arguments += decoded;
            i += 2;
        } else {
            arguments += c;
        }
    }
    url = std::string(line.substr(blank + 1));
    problem = UrlProblem(url);
    return problem.empty();
}

// "immutable <folder>": a relative folder ending in "/", without blanks.
bool ReadImmutableFolder(std::string_view line, std::string& folder, std::string& problem) {
    folder = std::string(line.substr(std::min<size_t>(10, line.size())));
    problem = UrlProblem(folder);
    if (problem.empty() && (IsAbsolute(folder) || folder.find(' ') != std::string::npos ||
                            folder.back() != '/'))
        problem = "not \"immutable <folder>/\" relative to the base URL, without blanks";
    return problem.empty();
}

}  // namespace

std::optional<ReleaseManifest> ReadReleaseManifest(std::string_view bytes, std::string& problem) {
    problem.clear();
    if (bytes.size() > kReleaseManifestMaxBytes) {
        problem = "larger than " + std::to_string(kReleaseManifestMaxBytes) + " bytes";
        return std::nullopt;
    }
    if (!bytes.empty() && bytes.back() != '\n') {
        problem = "its last line has no line end (cut short?)";
        return std::nullopt;
    }
    ReleaseManifest manifest;
    std::map<std::string, std::string> argumentLines;  // by URL as written
    std::optional<std::string> immutableFolder;
    size_t number = 0;
    bool hasSerial = false, hasExpires = false;
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end + 1);
        ++number;
        if (number == 1) {
            if (line != kFormatLine) {
                problem = LineProblem(1, "not \"" + std::string(kFormatLine) +
                                             "\" (another format or not a manifest)");
                return std::nullopt;
            }
        } else if (number == 2) {
            const std::optional<uint64_t> serial =
                line.substr(0, 7) == "serial " ? ParseSerial(line.substr(7)) : std::nullopt;
            if (!serial || line.find('\r') != std::string_view::npos) {
                problem = LineProblem(2, "not \"serial <number>\"");
                return std::nullopt;
            }
            manifest.serial = *serial;
            hasSerial = true;
        } else if (number == 3) {
            const std::optional<int> date =
                line.substr(0, 8) == "expires " ? ParseDate(line.substr(8)) : std::nullopt;
            if (!date) {
                problem = LineProblem(3, "not \"expires YYYY-MM-DD\"");
                return std::nullopt;
            }
            manifest.expires = *date;
            hasExpires = true;
        } else {
            if (manifest.entries.size() == kReleaseManifestMaxEntries) {
                problem = LineProblem(number, "more than " +
                                                  std::to_string(kReleaseManifestMaxEntries) +
                                                  " files");
                return std::nullopt;
            }
            std::string why;
            const std::string_view keyword = Keyword(line);
            if (keyword == "args") {
                std::string arguments, url;
                if (!ReadArguments(line, arguments, url, why)) {
                    problem = LineProblem(number, why);
                    return std::nullopt;
                }
                argumentLines[std::move(url)] = std::move(arguments);
                continue;
            }
            if (keyword == "immutable") {
                std::string folder;
                if (immutableFolder) why = "a second \"immutable\" line";
                if (!why.empty() || !ReadImmutableFolder(line, folder, why)) {
                    problem = LineProblem(number, why);
                    return std::nullopt;
                }
                immutableFolder = std::move(folder);
                continue;
            }
            if (!keyword.empty()) continue;  // a kind of line from a later release
            std::optional<ReleaseEntry> entry = ReadEntry(line, why);
            if (!entry) {
                problem = LineProblem(number, why);
                return std::nullopt;
            }
            manifest.entries.push_back(std::move(*entry));
        }
    }
    if (!hasSerial || !hasExpires) {
        problem = "no serial or no expires line";
        return std::nullopt;
    }
    // Arguments for a file the manifest does not list give nothing to run.
    for (ReleaseEntry& entry : manifest.entries)
        if (const auto found = argumentLines.find(entry.url); found != argumentLines.end())
            entry.silentArguments = found->second;
    if (immutableFolder)
        for (ReleaseEntry& entry : manifest.entries)
            if (!IsAbsolute(entry.url))
                entry.immutableUrl = *immutableFolder + Sha256Hex(entry.digest);
    return manifest;
}

bool SplitSignedRelease(std::string_view bytes, std::string_view& manifest, std::string& signature,
                        std::string& problem) {
    constexpr std::string_view kWord = "signature ";
    const size_t last =
        bytes.size() < 2 ? std::string_view::npos : bytes.rfind('\n', bytes.size() - 2);
    const std::string_view line = bytes.substr(last == std::string_view::npos ? 0 : last + 1);
    signature.assign(kSignatureBytes, '\0');
    if (last == std::string_view::npos || line.substr(0, kWord.size()) != kWord ||
        line.size() != kWord.size() + 2 * kSignatureBytes + 1 || line.back() != '\n' ||
        !ParseHexBytes(std::u16string(line.begin() + kWord.size(), line.end() - 1),
                       reinterpret_cast<uint8_t*>(&signature[0]), kSignatureBytes)) {
        problem = "its last line is not \"signature <128 hex digits>\"";
        return false;
    }
    manifest = bytes.substr(0, last + 1);
    return true;
}

FreshnessVerdict JudgeRelease(const ReleaseManifest& manifest, uint64_t highestAccepted,
                              int today) {
    CatalogueFreshness freshness;
    freshness.serial = manifest.serial;
    freshness.expires = manifest.expires;
    return JudgeFreshness(freshness, highestAccepted, today);
}

std::string CanonicalUrl(std::string_view url) {
    std::string canonical;
    size_t rest = 0;
    const size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) {
        const size_t authorityEnd = url.find_first_of("/?#\\", scheme + 3);
        rest = authorityEnd == std::string_view::npos ? url.size() : authorityEnd;
        for (const char c : url.substr(0, rest))
            canonical += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        const auto dropPort = [&](std::string_view prefix, std::string_view port) {
            if (canonical.compare(0, prefix.size(), prefix) == 0 &&
                canonical.size() > port.size() &&
                canonical.compare(canonical.size() - port.size(), port.size(), port) == 0)
                canonical.resize(canonical.size() - port.size());
        };
        dropPort("http://", ":80");
        dropPort("https://", ":443");
        if (rest == url.size()) canonical += '/';
    }
    for (size_t i = rest; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && HexValue(url[i + 1]) >= 0 &&
            HexValue(url[i + 2]) >= 0) {
            canonical += static_cast<char>(HexValue(url[i + 1]) << 4 | HexValue(url[i + 2]));
            i += 2;
        } else {
            canonical += url[i];
        }
    }
    return canonical;
}

std::optional<ReleaseIndex> ReleaseIndex::Make(const ReleaseManifest& manifest,
                                               std::string_view baseUrl, std::string& problem) {
    ReleaseIndex index;
    for (const ReleaseEntry& entry : manifest.entries) {
        const std::string url =
            IsAbsolute(entry.url) ? entry.url : std::string(baseUrl) + entry.url;
        ReleaseEntry resolved = entry;
        if (!resolved.immutableUrl.empty() && !IsAbsolute(resolved.immutableUrl))
            resolved.immutableUrl = std::string(baseUrl) + resolved.immutableUrl;
        if (!index.entries_.emplace(CanonicalUrl(url), std::move(resolved)).second) {
            problem = "two entries name " + url;
            return std::nullopt;
        }
    }
    return index;
}

const ReleaseEntry* ReleaseIndex::Find(std::string_view url) const {
    const auto found = entries_.find(CanonicalUrl(url));
    return found == entries_.end() ? nullptr : &found->second;
}

}  // namespace pelmora
