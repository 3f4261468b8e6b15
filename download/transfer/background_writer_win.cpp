#include "download/transfer/background_writer_win.h"

#include "trust/sha256_win.h"
#include "win/thread_win.h"

#include <algorithm>
#include <new>

namespace pelmora {
namespace {

// A body is made durable before it replaces anything; flushing it in steps
// while the network is still the slower side leaves little for that last
// flush (without steps, a 256 MiB body waited 0.15 s for the disk after its
// last byte; with 16 MiB steps, 1 Gbit/s still came to 0.97-0.99 x curl,
// with 4 MiB steps 0.99 in every run).
constexpr uint64_t kFlushEveryBytes = 4 * 1024 * 1024;

}  // namespace

BackgroundWriter::BackgroundWriter(HANDLE file, size_t bufferBytes, size_t bufferCount,
                                   Sha256Stream* hash, std::optional<uint64_t> announced)
    : file_(file),
      hash_(hash),
      bufferBytes_(bufferBytes),
      // One more buffer when hashing: reading, writing and hashing each have one.
      bufferCount_(bufferCount + (hash ? 1 : 0)),
      writeAlong_(announced && *announced <= kWriteAlongBytes) {
    if (!writeAlong_) return;
    bufferBytes_ = std::max<size_t>(1, std::min<uint64_t>(*announced, bufferBytes));
    bufferCount_ = 1;
}

BackgroundWriter::~BackgroundWriter() { Finish(); }

bool BackgroundWriter::StartThreads() {
    // Both threads are joined in Finish, so they may borrow this writer.
    thread_ = win::StartThread([this] { Run(); }).handle;
    if (thread_ && hash_) hashThread_ = win::StartThread([this] { RunHash(); }).handle;
    if (thread_ && (!hash_ || hashThread_)) return true;
    const DWORD error = ::GetLastError();
    error_ = error == ERROR_SUCCESS ? ERROR_NOT_ENOUGH_MEMORY : error;
    return false;
}

char* BackgroundWriter::Acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (free_.empty() && storage_.size() < bufferCount_ && error_ == ERROR_SUCCESS) {
        try {
            storage_.emplace_back(new char[bufferBytes_]);
            return storage_.back().get();
        } catch (const std::bad_alloc&) {
            error_ = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    changed_.wait(lock, [&] { return !free_.empty() || error_ != ERROR_SUCCESS; });
    if (error_ != ERROR_SUCCESS) return nullptr;
    char* buffer = free_.back();
    free_.pop_back();
    return buffer;
}

void BackgroundWriter::Submit(char* buffer, DWORD size) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (writeAlong_) {
            if (error_ == ERROR_SUCCESS) error_ = WriteNow({buffer, size});
            free_.push_back(buffer);
            return;
        }
        if (!thread_ && error_ == ERROR_SUCCESS && !held_) {
            held_ = Piece{buffer, size};  // perhaps the whole body
            return;
        }
        if (!thread_ && error_ == ERROR_SUCCESS && StartThreads()) {
            queued_.push_back(*held_);
            held_.reset();
        }
        if (thread_) {
            queued_.push_back({buffer, size});
        } else {
            free_.push_back(buffer);  // no writer: the error already set says why
            if (held_) free_.push_back(held_->buffer);
            held_.reset();
        }
    }
    changed_.notify_all();
}

DWORD BackgroundWriter::WriteNow(const Piece& piece) {
    DWORD written = 0;
    if (!::WriteFile(file_, piece.buffer, piece.size, &written, nullptr) || written != piece.size) {
        const DWORD error = ::GetLastError();
        return error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error;
    }
    if (hash_) hash_->Update(piece.buffer, piece.size);
    return ERROR_SUCCESS;
}

DWORD BackgroundWriter::Finish() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (held_) {  // the only piece: written here, no thread needed
            if (error_ == ERROR_SUCCESS) error_ = WriteNow(*held_);
            free_.push_back(held_->buffer);
            held_.reset();
        }
    }
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
        // A failed flush here is met again by the flush that makes the body durable.
        if (ok && (unflushed_ += piece.size) >= kFlushEveryBytes) {
            ::FlushFileBuffers(file_);
            unflushed_ = 0;
        }
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
