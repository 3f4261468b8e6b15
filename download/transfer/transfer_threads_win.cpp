#include "download/transfer/transfer_threads_win.h"

#include "win/thread_win.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace pelmora {
namespace {

// Transfer threads wait a little after their job for the next one: many
// small files then cost no thread start each (under Wine a wineserver round
// trip or two). A job given up on keeps its thread until it ends by itself.
class TransferThreads {
public:
    bool Start(std::function<void()> work) {
        {
            const std::lock_guard<std::mutex> guard(lock_);
            if (idle_ > 0) {
                --idle_;  // on behalf of the thread that takes it
                jobs_.push_back(std::move(work));
                wake_.notify_one();
                return true;
            }
        }
        return win::StartDetachedThread(
            [this, work = std::move(work)]() mutable { Serve(std::move(work)); });
    }

private:
    static constexpr std::chrono::milliseconds kIdle{3000};

    void Serve(std::function<void()> work) noexcept {
        for (;;) {
            work();
            work = nullptr;  // lets go of what the job held before waiting
            std::unique_lock<std::mutex> guard(lock_);
            ++idle_;
            if (!wake_.wait_for(guard, kIdle, [this] { return !jobs_.empty(); })) {
                --idle_;
                return;
            }
            work = std::move(jobs_.front());
            jobs_.pop_front();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    size_t idle_ = 0;  // waiting threads not yet promised a job
};

TransferThreads& SharedTransferThreads() {
    static auto* threads = new TransferThreads;  // never destroyed: its threads may outlive main
    return *threads;
}

}  // namespace

bool StartOnTransferThread(std::function<void()> work) {
    return SharedTransferThreads().Start(std::move(work));
}

}  // namespace pelmora
