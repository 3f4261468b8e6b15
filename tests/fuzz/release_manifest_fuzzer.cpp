// Any bytes as the release manifest, and its entries looked up by the URLs
// they name: a manifest that reads names only well-formed entries, and every
// entry is found again under its own URL.
#include "trust/release_manifest.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string problem;
    const auto manifest = pelmora::ReadReleaseManifest(bytes, problem);
    if (manifest.has_value() == !problem.empty()) std::abort();
    if (!manifest) return 0;
    for (const pelmora::ReleaseEntry& entry : manifest->entries)
        if (entry.url.empty() || entry.url.find('\n') != std::string::npos) std::abort();
    const std::string base = "http://h/tools/";
    const auto index = pelmora::ReleaseIndex::Make(*manifest, base, problem);
    if (!index) return 0;
    for (const pelmora::ReleaseEntry& entry : manifest->entries) {
        const pelmora::ReleaseEntry* found = index->Find(entry.url);
        if (!found) found = index->Find(base + entry.url);
        if (!found || found->digest != entry.digest || found->size != entry.size) std::abort();
    }
    return 0;
}
