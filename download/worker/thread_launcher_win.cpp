#include "download/worker/thread_launcher_win.h"

#include "win/diagnostics_win.h"
#include "win/thread_win.h"

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
    running_ = true;
    win::StartedThread started = win::StartThread(std::move(body));
    if (!started) {
        running_ = false;
        threadId_ = 0;
        return false;
    }
    thread_ = std::move(started.handle);
    threadId_ = started.id;
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
