// The release manifest ("release.txt" at the base URL, signed beside it in
// "release.txt.sig"): one list of every file Pelmora may fetch for a release,
// with its exact size and SHA-256, and the release's serial and last day.
// A file that matches its entry is the maker's and current; a URL without an
// entry is not fetched at all. Format (UTF-8, every line ends in LF):
//
//   pelmora-release 1
//   serial 12
//   expires 2027-06-30
//   <size> <64 hex digits> <url>        one line per file
//   args <arguments> <url>              an installer's silent arguments
//   immutable <folder>                  every relative file also lies at
//                                       <folder><its 64 hex digits>
//
// <url> is the rest of the line (it may hold blanks): relative to the base
// URL, or absolute (http:// or https://) for files elsewhere. In <arguments>
// a blank is written %20 and a percent sign %25. From the fourth line on, a
// line whose first word is a lower-case keyword this reader does not know is
// skipped, so that a later release can add kinds of lines without locking out
// the Pelmoras already installed.
//
// "release.signed" carries the manifest and its signature in one file, so
// that no cache can hold one without the other: the manifest's bytes, then a
// last line "signature <128 hex digits>" over exactly those bytes.
#pragma once
#include "trust/catalogue_freshness.h"
#include "trust/sha256.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

inline constexpr std::u16string_view kReleaseManifestName = u"release.txt";
inline constexpr std::u16string_view kSignedReleaseName = u"release.signed";
// A release of 20 tools lists some 300 files; a megabyte is far beyond it.
constexpr uint64_t kReleaseManifestMaxBytes = 1 << 20;
constexpr size_t kReleaseManifestMaxEntries = 10000;

struct ReleaseEntry {
    std::string url;  // as written
    uint64_t size = 0;
    Sha256Digest digest{};
    // From the entry's "args" line; none: the installer's default.
    std::optional<std::string> silentArguments;
    // Where the same bytes lie under a name that never changes them (the
    // "immutable" line's folder and the digest); empty: nowhere.
    std::string immutableUrl;
};

struct ReleaseManifest {
    uint64_t serial = 0;
    int expires = 0;  // YYYYMMDD
    std::vector<ReleaseEntry> entries;
};

// The manifest in `bytes`, or nullopt with `problem` saying what does not
// read (and on which line).
std::optional<ReleaseManifest> ReadReleaseManifest(std::string_view bytes, std::string& problem);

// The manifest's bytes and the 64-byte signature of a "release.signed" file,
// or false with `problem`.
bool SplitSignedRelease(std::string_view bytes, std::string_view& manifest, std::string& signature,
                        std::string& problem);

// Fresh, replayed (serial below `highestAccepted`) or expired (`today`,
// YYYYMMDD, after its last day).
FreshnessVerdict JudgeRelease(const ReleaseManifest& manifest, uint64_t highestAccepted,
                              int today);

// One spelling per URL as a server receives it: scheme and host in lower
// case, the scheme's default port dropped, every %XX escape decoded (Pelmora
// escapes blanks and 8-bit bytes before it fetches, a manifest may or may
// not). The path keeps its letter case. UTF-8 in and out.
std::string CanonicalUrl(std::string_view url);

// The entries by canonical URL, relative ones below `baseUrl`.
class ReleaseIndex {
public:
    // nullopt with `problem` when two entries name the same URL.
    static std::optional<ReleaseIndex> Make(const ReleaseManifest& manifest,
                                            std::string_view baseUrl, std::string& problem);
    // The entry of the URL Pelmora is about to fetch (UTF-8); null without one.
    const ReleaseEntry* Find(std::string_view url) const;
    size_t size() const { return entries_.size(); }

private:
    std::map<std::string, ReleaseEntry> entries_;
};

}  // namespace pelmora
