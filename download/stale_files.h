// Names of files that earlier runs left behind in Pelmora's folders.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace pelmora {

// The process that owns a transfer's temporary file "<name>.part-<pid>-<n>";
// nullopt for any other name.
std::optional<uint32_t> TemporaryFileOwner(std::u16string_view fileName);

// An installer kept under a retry name, "_<n>setup.exe" or "_<n>setup_light.exe":
// only the run that made it can open it, so after a restart it is dead weight.
bool IsRetryInstallerName(std::u16string_view fileName);

}  // namespace pelmora
