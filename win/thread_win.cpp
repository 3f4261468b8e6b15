#include "win/thread_win.h"

#include "win/diagnostics_win.h"

#include <process.h>

#include <memory>
#include <new>

namespace win {
namespace {

// _beginthreadex rather than CreateThread: the C runtime's per-thread state is
// set up and freed with the thread.
unsigned __stdcall Entry(void* parameter) noexcept {
    const std::unique_ptr<std::function<void()>> body(
        static_cast<std::function<void()>*>(parameter));
    try {
        (*body)();
    } catch (...) {
        Diag(L"[Pelmora]A thread ended by an exception\n");
    }
    return 0;
}

}  // namespace

StartedThread StartThread(std::function<void()> body, size_t stackBytes) {
    StartedThread started;
    std::unique_ptr<std::function<void()>> parameter(new (std::nothrow)
                                                         std::function<void()>(std::move(body)));
    if (!parameter) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return started;
    }
    unsigned id = 0;
    const auto handle = reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, static_cast<unsigned>(stackBytes), &Entry, parameter.get(),
                         stackBytes ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, &id));
    if (!handle) {
        ::SetLastError(static_cast<DWORD>(_doserrno ? _doserrno : ERROR_NOT_ENOUGH_MEMORY));
        return started;
    }
    parameter.release();  // the thread owns it now
    started.handle.reset(handle);
    started.id = id;
    return started;
}

bool StartDetachedThread(std::function<void()> body, size_t stackBytes) {
    return static_cast<bool>(StartThread(std::move(body), stackBytes));
}

}  // namespace win
