// A progress target that records what a transfer showed, and can play the
// user who presses Cancel once a given percent is on screen.
#pragma once
#include "download/transfer/progress_target.h"

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

namespace pelmora {

class RecordingTarget : public ProgressTarget {
public:
    explicit RecordingTarget(int cancelAtPercent = -1) : cancelAtPercent_(cancelAtPercent) {}

    bool InstallActive() const override { return active_.load(); }
    void ShowRowProgress(int row, int percent) override {
        const std::lock_guard<std::mutex> guard(lock_);
        shown_.emplace_back(row, percent);
        if (cancelAtPercent_ >= 0 && percent >= cancelAtPercent_) active_ = false;
    }

    void SetActive(bool active) { active_ = active; }
    // (row, percent) of every update, in order.
    std::vector<std::pair<int, int>> Shown() const {
        const std::lock_guard<std::mutex> guard(lock_);
        return shown_;
    }
    std::vector<int> Percents() const {
        std::vector<int> percents;
        for (const auto& update : Shown()) percents.push_back(update.second);
        return percents;
    }

private:
    const int cancelAtPercent_;
    std::atomic<bool> active_{true};
    mutable std::mutex lock_;
    std::vector<std::pair<int, int>> shown_;
};

}  // namespace pelmora
