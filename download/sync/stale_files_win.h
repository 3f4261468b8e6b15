// Clearing what earlier runs left in the download folders.
#pragma once
#include <string>

namespace pelmora {

// Removes, below <local root>Korvath\tools\ and in the run's work folder,
// transfer temporaries whose process no longer runs, and installers kept
// under a retry name; each by the handle it was opened and checked with.
// Partial bodies kept for resuming stay.
void RemoveStaleDownloads(const std::wstring& localRoot, const std::wstring& workFolder);

}  // namespace pelmora
