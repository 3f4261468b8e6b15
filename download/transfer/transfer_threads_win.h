// The threads that run transfers.
#pragma once
#include <functional>

namespace pelmora {

// Runs `work` on a transfer thread: one waiting for its next job, or a new
// one. False when none could be started (GetLastError says why).
bool StartOnTransferThread(std::function<void()> work);

}  // namespace pelmora
