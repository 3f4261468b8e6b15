#include "download/background_writer_win.h"

#include "trust/sha256_win.h"

namespace pelmora {

BackgroundWriter::BackgroundWriter(HANDLE file, size_t bufferBytes, size_t bufferCount,
                                   Sha256Stream* hash)
    : file_(file), hash_(hash) {
    for (size_t i = 0; i < bufferCount; ++i) {
        storage_.emplace_back(new char[bufferBytes]);
        free_.push_back(storage_.back().get());
    }
    thread_ = std::thread([this] { Run(); });
}

BackgroundWriter::~BackgroundWriter() { Finish(); }

char* BackgroundWriter::Acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !free_.empty() || error_ != ERROR_SUCCESS; });
    if (error_ != ERROR_SUCCESS) return nullptr;
    char* buffer = free_.back();
    free_.pop_back();
    return buffer;
}

void BackgroundWriter::Submit(char* buffer, DWORD size) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queued_.push_back({buffer, size});
    }
    changed_.notify_all();
}

DWORD BackgroundWriter::Finish() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return queued_.empty() && !writing_; });
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    return error_;
}

void BackgroundWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return !queued_.empty() || stopping_; });
        if (queued_.empty()) return;
        const Piece piece = queued_.front();
        queued_.pop_front();
        writing_ = true;
        lock.unlock();
        DWORD written = 0;
        const bool ok = error_ == ERROR_SUCCESS &&
                        ::WriteFile(file_, piece.buffer, piece.size, &written, nullptr) &&
                        written == piece.size;
        const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
        // A hash the system refuses shows as no digest at the end.
        if (ok && hash_) hash_->Update(piece.buffer, piece.size);
        lock.lock();
        writing_ = false;
        if (!ok && error_ == ERROR_SUCCESS)
            error_ = error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error;
        free_.push_back(piece.buffer);
        changed_.notify_all();
    }
}

}  // namespace pelmora
