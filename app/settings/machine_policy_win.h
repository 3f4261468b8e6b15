// The machine's policies for Pelmora, set by an administrator below
// HKLM\SOFTWARE\Policies\Korvath\Pelmora. Pelmora only reads them.
#pragma once
#include <optional>

namespace pelmora {

struct MachinePolicy {
    std::optional<int> region;  // "Region": fixes the server region
    bool selfUpdate = true;     // "SelfUpdate" 0: Pelmora's own update is neither offered nor applied
    bool userUpdates = true;    // "UserUpdates" 0: the window does not install or update
    // "AllowUnverifiedInstallers" 1: a build with neither the maker's key nor
    // a publisher installs from a script's run (https and a digest only).
    bool allowUnverifiedInstallers = false;
};

// Read once, by the session; every value set is logged, and an unreadable or
// unknown one is ignored with a log line.
MachinePolicy ReadMachinePolicy();

}  // namespace pelmora
