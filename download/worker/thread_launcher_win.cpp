#include "download/thread_launcher_win.h"

#include "win/diagnostics_win.h"

#include <process.h>

#include <memory>
#include <new>

namespace pelmora {

CThreadLauncher::~CThreadLauncher() {
    if (!Stop(kDestructorWaitMs)) LetGo();
}

void CThreadLauncher::LetGo() noexcept {
    running_ = false;
    if (!thread_) return;
    // The worker owns everything it uses; the handle is all we give up.
    win::Diag(L"[Pelmora]Worker still running at shutdown; left to end by itself\n");
    thread_.reset();
    threadId_ = 0;
}

unsigned __stdcall CThreadLauncher::Entry(void* parameter) noexcept {
    const std::unique_ptr<std::function<void()>> body(
        static_cast<std::function<void()>*>(parameter));
    try {
        (*body)();
    } catch (...) {
        win::Diag(L"[Pelmora]Worker ended by an exception\n");
    }
    return 0;
}

bool CThreadLauncher::Start(std::function<void()> body, DWORD previousWaitMs) {
    if (running_) return false;
    if (thread_) {
        if (::WaitForSingleObject(thread_.get(), previousWaitMs) != WAIT_OBJECT_0) {
            win::Diag(L"[Pelmora]Previous worker has not ended; no new worker\n");
            return false;
        }
        thread_.reset();
        threadId_ = 0;
    }
    std::unique_ptr<std::function<void()>> parameter(new (std::nothrow)
                                                         std::function<void()>(std::move(body)));
    if (!parameter) return false;
    running_ = true;
    unsigned id = 0;
    const auto handle = reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &CThreadLauncher::Entry, parameter.get(), 0, &id));
    if (!handle) {
        running_ = false;
        threadId_ = 0;
        return false;
    }
    parameter.release();  // the thread owns it now
    thread_.reset(handle);
    threadId_ = id;
    return true;
}

bool CThreadLauncher::Stop(DWORD waitMs) noexcept {
    running_ = false;
    if (!thread_) return true;
    if (::GetCurrentThreadId() != threadId_ &&
        ::WaitForSingleObject(thread_.get(), waitMs) != WAIT_OBJECT_0)
        return false;
    thread_.reset();
    threadId_ = 0;
    return true;
}

}  // namespace pelmora
