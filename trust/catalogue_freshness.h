// Freshness of a signed release: a serial the maker raises with every
// release and the last day the release is good for. A client that trusts the
// maker's key refuses an older serial than it has accepted (an old release
// replayed to bring back an old installer) and a release past its date
// (updates frozen by an attacker who keeps serving the last one). The
// catalogue's header line carries the same two fields ("serial=N",
// "expires=YYYY-MM-DD") for readers of the catalogue alone.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

struct CatalogueFreshness {
    uint64_t serial = 0;         // 0 when none is named
    std::optional<int> expires;  // YYYYMMDD; none: it does not expire
    std::string problem;         // a freshness field that does not read, described
};

enum class FreshnessVerdict { Fresh, Unreadable, Replayed, Expired };

// `highestAccepted`: the largest serial accepted before (0: none);
// `today`: the current date as YYYYMMDD. The expiry day itself is still good.
FreshnessVerdict JudgeFreshness(const CatalogueFreshness& freshness, uint64_t highestAccepted,
                                int today);

// A serial as the client keeps it: decimal digits (at most 18), an optional
// line end; nullopt for anything else.
std::optional<uint64_t> ParseSerial(std::string_view text);

// "YYYY-MM-DD", a real calendar day, as YYYYMMDD; nullopt otherwise.
std::optional<int> ParseDate(std::string_view text);

}  // namespace pelmora
