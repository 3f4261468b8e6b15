// CThreadLauncher: runs at most one worker thread at a time. The
// body is a function object that owns what the thread needs, so the thread
// never reaches back into the launcher or its owner, and no wait here is
// without a bound.
#pragma once
#include "win/handles_win.h"

#include <windows.h>

#include <functional>

namespace pelmora {

class CThreadLauncher {
  public:
    CThreadLauncher() = default;
    // Waits at most kDestructorWaitMs for a worker, then lets it go.
    virtual ~CThreadLauncher();
    CThreadLauncher(const CThreadLauncher&) = delete;
    CThreadLauncher& operator=(const CThreadLauncher&) = delete;

    static constexpr DWORD kDestructorWaitMs = 1000;

    // Starts `body` on a new thread unless a worker is marked running. A
    // previous worker that is still ending gets up to `previousWaitMs`; if
    // it has not ended by then, nothing starts. False when nothing started.
    bool Start(std::function<void()> body, DWORD previousWaitMs);
    // Clears the running mark and waits up to `waitMs` for the thread; an
    // ended thread's handle is released (also at once when called on the
    // worker itself), one that has not ended stays held for the next Start.
    // True when no thread is held afterwards.
    bool Stop(DWORD waitMs) noexcept;
    // Clears the running mark and lets a thread that has not ended go
    // without waiting: the body owns everything it uses.
    void LetGo() noexcept;

    bool Running() const noexcept { return running_; }
    bool HoldsThread() const noexcept { return static_cast<bool>(thread_); }
    DWORD ThreadId() const noexcept { return threadId_; }

  private:

    win::Handle thread_;
    bool running_ = false;
    DWORD threadId_ = 0;
};

}  // namespace pelmora
