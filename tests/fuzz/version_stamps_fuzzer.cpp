// Any bytes as a stamp file: stamps are the file's leading lines, none
// empty, at most 20, and the database stamp is the first of them. Read back,
// the stamps kept after a synchronisation (the input's halves as old and new
// file) vouch exactly for the complete rows: line for line the new stamp
// where complete, a different one where not, and no row lost.
#include "catalogue/model/version_stamps.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto stamps = pelmora::ImageStamps(bytes);
    if (stamps.size() > pelmora::kMaxImageStamps) std::abort();
    if (pelmora::DatabaseStamp(bytes) != pelmora::StampAt(stamps, 0)) std::abort();
    size_t pos = 0;
    for (const auto& stamp : stamps) {
        if (stamp.empty() || stamp.find('\n') != std::string::npos) std::abort();
        if (bytes.compare(pos, stamp.size(), stamp) != 0) std::abort();
        pos += stamp.size();
        if (bytes.compare(pos, 2, "\r\n") == 0) {
            pos += 2;
        } else if (pos < bytes.size()) {
            if (bytes[pos] != '\n') std::abort();
            ++pos;
        }
    }

    const auto oldStamps = pelmora::ImageStamps(bytes.substr(0, size / 2));
    const auto newStamps = pelmora::ImageStamps(bytes.substr(size / 2));
    std::vector<bool> complete;
    for (size_t j = 0; j < newStamps.size(); ++j) complete.push_back(size > j && (data[j] & 1));
    const auto kept =
        pelmora::ImageStamps(pelmora::ImageStampsToKeep(oldStamps, newStamps, complete));
    if (kept.size() != newStamps.size()) std::abort();
    for (size_t j = 0; j < kept.size(); ++j)
        if ((kept[j] == newStamps[j]) != complete[j]) std::abort();
    return 0;
}
