// Freshness of a signed catalogue. Its header line, which every catalogue
// reader skips, may carry "serial=N" (a number the maker raises with every
// release) and "expires=YYYY-MM-DD" (the last day the catalogue is good for)
// among its comma-separated fields. A client that trusts the maker's key
// refuses an older serial than it has accepted (an old catalogue replayed to
// bring back an old installer) and a catalogue past its date (updates frozen
// by an attacker who keeps serving the last one).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

struct CatalogueFreshness {
    uint64_t serial = 0;         // 0 when the header names none
    std::optional<int> expires;  // YYYYMMDD; none: the catalogue does not expire
    std::string problem;         // a freshness field that does not read, described
};

// From the catalogue file's raw bytes (UTF-16 little-endian, first line).
// Fields other than "serial" and "expires" are ignored.
CatalogueFreshness ReadCatalogueFreshness(std::string_view fileBytes);

enum class FreshnessVerdict { Fresh, Unreadable, Replayed, Expired };

// `highestAccepted`: the largest serial accepted before (0: none);
// `today`: the current date as YYYYMMDD. The expiry day itself is still good.
FreshnessVerdict JudgeFreshness(const CatalogueFreshness& freshness, uint64_t highestAccepted,
                                int today);

// A serial as the client keeps it: decimal digits, an optional line end;
// nullopt for anything else.
std::optional<uint64_t> ParseSerial(std::string_view text);

}  // namespace pelmora
