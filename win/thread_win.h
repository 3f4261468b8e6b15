// The one way Pelmora starts a thread. The thread owns its body, and with it
// whatever the body captured, until the body returns: a thread that may
// outlive its caller captures shared owners of what it touches, never a
// borrowed pointer to the caller's state.
#pragma once
#include "win/handles_win.h"

#include <windows.h>

#include <cstddef>
#include <functional>

namespace win {

struct StartedThread {
    Handle handle;  // null when no thread was started (GetLastError says why)
    DWORD id = 0;
    explicit operator bool() const noexcept { return static_cast<bool>(handle); }
};

// Starts `body` on a new thread. `stackBytes` 0 takes the default; otherwise
// it is a reservation. Closing the handle detaches the thread; waiting on it
// joins. An exception leaving `body` is logged and ends the thread quietly.
StartedThread StartThread(std::function<void()> body, size_t stackBytes = 0);

// StartThread for a thread nobody waits for. False when none was started.
bool StartDetachedThread(std::function<void()> body, size_t stackBytes = 0);

}  // namespace win
