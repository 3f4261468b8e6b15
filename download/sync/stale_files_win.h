// Clearing what earlier runs left in the download folders.
#pragma once
#include <string>

namespace pelmora {

// Removes, below <local root>Korvath\tools\, transfer temporaries whose
// process no longer runs, and installers kept under a retry name. Partial
// bodies kept for resuming stay.
void RemoveStaleDownloads(const std::wstring& localRoot);

}  // namespace pelmora
