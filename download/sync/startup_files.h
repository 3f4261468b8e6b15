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

// A detached signature is 64 bytes; anything longer is not one.
constexpr uint64_t kSignatureFileMaxBytes = 64;

// Without the maker's key, generous bounds on what a model database and a
// program's picture can be; with it, the manifest's size is the cap.
constexpr uint64_t kDatabaseMaxBytes = uint64_t{256} << 20;
constexpr uint64_t kPictureMaxBytes = uint64_t{16} << 20;

// The largest body the start-up accepts for `url`, by the end of its path
// (before any query): kStartupTextFileMaxBytes for ".txt",
// kSignatureFileMaxBytes for ".sig", kDatabaseMaxBytes for ".db",
// kPictureMaxBytes for ".bmp", 0 (no limit) otherwise.
uint64_t StartupFileMaxBytes(std::u16string_view url);

}  // namespace pelmora
