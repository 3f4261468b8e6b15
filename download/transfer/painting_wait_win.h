// The window thread's way to wait for transfers: its windows keep painting,
// and input waits in the queue for its own message loop.
#pragma once
#include <windows.h>

namespace pelmora {

// WaitForMultipleObjects's result when the wait ended because a WM_CLOSE was
// posted to the calling thread (only when asked to look for one).
constexpr DWORD kWaitCloseQueued = 0xFFFFFFF0u;

// WaitForMultipleObjects (wait-any) that keeps the calling thread's windows
// painted meanwhile, when it has any: only paint messages and messages sent
// by other threads are handled here, input stays queued for the caller's
// own message loop, so nothing re-enters the caller through user input.
// With `endOnClose`, a WM_CLOSE posted to one of the thread's windows ends
// the wait (kWaitCloseQueued) and stays queued for the caller's loop.
DWORD WaitKeepingWindowsPainted(DWORD count, const HANDLE* handles, DWORD timeoutMs,
                                bool endOnClose = false);

// While a window is named here (null: none), the waits above also hand it,
// and its children, all of its own messages, input included, through
// IsDialogMessage: a splash then answers Esc, Alt+F4 and WM_CLOSE while the
// window thread waits for transfers. Window thread only.
void ServeDuringWaits(HWND window) noexcept;

}  // namespace pelmora
