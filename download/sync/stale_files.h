// Names of files that earlier runs left behind in Pelmora's folders.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace pelmora {

// The process that owns a transfer's temporary file "<name>.part-<pid>-<n>";
// nullopt for any other name.
std::optional<uint32_t> TemporaryFileOwner(std::u16string_view fileName);

// Whether a file directly in Korvath\tools\ is one of Pelmora's (the
// settings, the model databases and their stamp, release notes). That folder
// is shared with sibling tools: what is not Pelmora's is not touched.
bool IsPelmoraToolsFileName(std::u16string_view fileName);

// A temporary file of the transfer, "<name>.part-<pid>-<n>", whose <name> is
// one of Pelmora's files in Korvath\tools\.
bool IsPelmoraToolsTemporary(std::u16string_view fileName);

// An installer kept under a retry name, "_<n>setup.exe" or "_<n>setup_light.exe":
// only the run that made it can open it, so after a restart it is dead weight.
bool IsRetryInstallerName(std::u16string_view fileName);

}  // namespace pelmora
