#include "download/transfer/painting_wait_win.h"

namespace pelmora {
namespace {

bool CloseQueued() {
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) != FALSE;
}

}  // namespace

DWORD WaitKeepingWindowsPainted(DWORD count, const HANDLE* handles, DWORD timeoutMs,
                                bool endOnClose) {
    if (!::IsGUIThread(FALSE)) return ::WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
    if (endOnClose && CloseQueued()) return kWaitCloseQueued;
    const DWORD wake = QS_PAINT | QS_SENDMESSAGE | (endOnClose ? QS_POSTMESSAGE : 0);
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
        bool painted = false;
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
