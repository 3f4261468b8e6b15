// Version stamps of the synchronised data files: opaque 8-bit lines of a
// small server text file, compared exactly. Lines are read as text mode
// gives them: a line ends at LF and a CR right before that LF goes with it.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

constexpr size_t kMaxImageStamps = 20;

// The model databases' stamp: the first line only.
std::string DatabaseStamp(std::string_view fileBytes);

// The program images' stamps, one per catalogue row in list order: at most
// 20 lines, ending before the first empty line (end of file reads as empty).
std::vector<std::string> ImageStamps(std::string_view fileBytes);

// Stamp j of a list, empty past its end, as a list of 20 that starts empty.
std::string_view StampAt(const std::vector<std::string>& stamps, size_t j);

// The image stamp file to keep after a synchronisation: line j vouches for
// row j's pictures, so it takes the server's line only when `complete[j]`
// (everything of that row arrived, or nothing had to). An incomplete row
// keeps a line that differs from the server's, so the next start fetches it
// again: its old line, or, when it had none, a marked copy of the new one
// (an empty line would end the list).
std::string ImageStampsToKeep(const std::vector<std::string>& oldStamps,
                              const std::vector<std::string>& newStamps,
                              const std::vector<bool>& complete);

}  // namespace pelmora
