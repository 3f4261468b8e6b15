// With the maker's key: the local files a stamp vouches for (the model
// databases, the pictures) are checked against the release at every start. A
// crash between a write and its flush can leave zeros behind an unchanged
// stamp; what differs from the release is fetched again.
#pragma once
#include "download/transfer/server_files_win.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace pelmora {

struct LocalReleaseFile {
    std::wstring url;
    std::wstring localPath;
};

// The indexes of the files whose local copy is missing or has another size or
// SHA-256 than their entry (the digest is taken only when the size matches),
// each logged. Files the release does not list are passed over.
std::vector<size_t> FilesNotAsReleased(const std::vector<LocalReleaseFile>& files,
                                       const ReleaseEntryLookup& lookup);

// With the release's entries (the maker's key built in), FilesNotAsReleased
// is empty; without them, true.
bool LocalFilesAsReleased(const std::vector<LocalReleaseFile>& files,
                          const ReleaseEntryLookup& release);

}  // namespace pelmora
