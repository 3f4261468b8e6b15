// With the maker's key: the local files a stamp vouches for (the model
// databases, the pictures) are checked against the release at every start. A
// crash between a write and its flush can leave zeros behind an unchanged
// stamp; what differs from the release is fetched again.
#pragma once
#include "download/transfer/download_to_file_win.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace pelmora {

struct LocalReleaseFile {
    std::wstring url;
    std::wstring localPath;
};

// Binds `options` to the release's entry for a URL (its size as the cap, its
// digest); anything but S_OK: not listed, nothing to compare with.
using ReleaseEntryLookup = std::function<HRESULT(const std::wstring& url, DownloadOptions& options)>;

// The indexes of the files whose local copy is missing or has another size or
// SHA-256 than their entry (the digest is taken only when the size matches),
// each logged. Files the release does not list are passed over.
std::vector<size_t> FilesNotAsReleased(const std::vector<LocalReleaseFile>& files,
                                       const ReleaseEntryLookup& lookup);

// With the maker's key built in, FilesNotAsReleased against the accepted
// release is empty; without one, true.
bool LocalFilesAsReleased(const std::vector<LocalReleaseFile>& files);

}  // namespace pelmora
