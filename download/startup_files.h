// Limits on what the start-up fetches.
#pragma once
#include <cstdint>
#include <string_view>

namespace pelmora {

// The start-up's text files (self-version, catalogue, stamp files) are a few
// lines; a server that sends more is sending something else, and an endless
// body must not fill the disk. The catalogue is read no further than 80000
// bytes anyway.
constexpr uint64_t kStartupTextFileMaxBytes = 1 << 20;

// The largest body the start-up accepts for `url`: kStartupTextFileMaxBytes
// for a ".txt" file (its path, before any query), 0 (no limit) otherwise.
uint64_t StartupFileMaxBytes(std::u16string_view url);

}  // namespace pelmora
