// Any bytes as the self-version file: the version is the text of the first
// line right after its first "v", up to the next "v".
#include "catalogue/model/self_version.h"
#include "win/text_line.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string line = pelmora::FirstTextLine(bytes);
    const std::string version = pelmora::SelfVersionFromFile(bytes);
    if (version.find('v') != std::string::npos || version.find('\n') != std::string::npos)
        std::abort();
    const size_t v = line.find('v');
    if (v == std::string::npos ? !version.empty()
                               : line.compare(v + 1, version.size(), version) != 0)
        std::abort();
    // A digest is named only after the second "v" of that line.
    if (pelmora::SelfInstallerDigestFromFile(bytes) &&
        (v == std::string::npos || line.find('v', v + 1) == std::string::npos))
        std::abort();
    return 0;
}
