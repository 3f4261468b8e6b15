#include "download/transfer/painting_wait_win.h"

namespace pelmora {
namespace {

// The calling thread's own: only the thread that owns a window can serve it.
thread_local HWND served = nullptr;

// Hands the served window what waits for it; it may be destroyed meanwhile.
bool ServeWindow() {
    bool handled = false;
    MSG msg;
    while (served && ::IsWindow(served) && ::PeekMessageW(&msg, served, 0, 0, PM_REMOVE)) {
        if (!::IsDialogMessageW(served, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        handled = true;
    }
    return handled;
}

bool CloseQueued() {
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) != FALSE;
}

}  // namespace

void ServeDuringWaits(HWND window) noexcept { served = window; }

DWORD WaitKeepingWindowsPainted(DWORD count, const HANDLE* handles, DWORD timeoutMs,
                                bool endOnClose) {
    if (!::IsGUIThread(FALSE)) return ::WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
    if (endOnClose && CloseQueued()) return kWaitCloseQueued;
    ServeWindow();  // what came before the wait began
    const DWORD wake = QS_PAINT | QS_SENDMESSAGE | (endOnClose ? QS_POSTMESSAGE : 0) |
                       (served ? QS_ALLINPUT : 0);
    const ULONGLONG deadline =
        timeoutMs == INFINITE ? ~0ull : ::GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = timeoutMs == INFINITE ? INFINITE
                           : now >= deadline     ? 0
                                                 : static_cast<DWORD>(deadline - now);
        const DWORD wait = ::MsgWaitForMultipleObjectsEx(count, handles, left, wake, 0);
        if (wait != WAIT_OBJECT_0 + count) return wait;
        if (endOnClose && CloseQueued()) return kWaitCloseQueued;
        MSG msg;
        bool painted = ServeWindow();
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) {
            ::DispatchMessageW(&msg);
            painted = true;
        }
        // A paint bit no message goes with (or other posted messages, left
        // for the caller) would wake us at once, again and again.
        if (!painted) ::Sleep(10);
    }
}

}  // namespace pelmora
