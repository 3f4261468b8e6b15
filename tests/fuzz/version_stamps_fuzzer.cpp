// Any bytes as a stamp file: stamps are the file's leading lines, none
// empty, at most 20, and the database stamp is the first of them.
#include "catalogue/version_stamps.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

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
    return 0;
}
