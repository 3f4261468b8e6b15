#include "download/transfer/background_writer_win.h"

#include "trust/sha256_win.h"
#include "win/thread_win.h"

namespace pelmora {

BackgroundWriter::BackgroundWriter(HANDLE file, size_t bufferBytes, size_t bufferCount,
                                   Sha256Stream* hash)
    : file_(file), hash_(hash) {
    // One more buffer when hashing: reading, writing and hashing each have one.
    if (hash_) ++bufferCount;
    for (size_t i = 0; i < bufferCount; ++i) {
        storage_.emplace_back(new char[bufferBytes]);
        free_.push_back(storage_.back().get());
    }
    // Both threads are joined in Finish, so they may borrow this writer.
    thread_ = win::StartThread([this] { Run(); }).handle;
    if (thread_ && hash_) hashThread_ = win::StartThread([this] { RunHash(); }).handle;
    if (!thread_ || (hash_ && !hashThread_)) {
        const DWORD error = ::GetLastError();
        const std::lock_guard<std::mutex> lock(mutex_);
        error_ = error == ERROR_SUCCESS ? ERROR_NOT_ENOUGH_MEMORY : error;
    }
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
        if (thread_)
            queued_.push_back({buffer, size});
        else
            free_.push_back(buffer);  // no writer: the error already set says why
    }
    changed_.notify_all();
}

DWORD BackgroundWriter::Finish() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] {
            return queued_.empty() && !writing_ && written_.empty() && !hashing_;
        });
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
    if (hashThread_) ::WaitForSingleObject(hashThread_.get(), INFINITE);
    thread_.reset();
    hashThread_.reset();
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
        lock.lock();
        writing_ = false;
        if (!ok && error_ == ERROR_SUCCESS)
            error_ = error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error;
        if (ok && hash_)
            written_.push_back(piece);
        else
            free_.push_back(piece.buffer);
        changed_.notify_all();
    }
}

// The bytes reach the hash in the order they were written.
void BackgroundWriter::RunHash() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return !written_.empty() || stopping_; });
        if (written_.empty()) return;
        const Piece piece = written_.front();
        written_.pop_front();
        hashing_ = true;
        lock.unlock();
        // A hash the system refuses shows as no digest at the end.
        hash_->Update(piece.buffer, piece.size);
        lock.lock();
        hashing_ = false;
        free_.push_back(piece.buffer);
        changed_.notify_all();
    }
}

}  // namespace pelmora
