// State of one catalogue program. Only 1..3 come from detection; 4..6 belong
// to a download run.
#pragma once

namespace pelmora {

enum InstallState : int {
    NotLookedUp = 0,
    NotInstalled = 1,
    UpdateAvailable = 2,
    Latest = 3,
    Queued = 4,
    Downloading = 5,
    Downloaded = 6,
};

}  // namespace pelmora
