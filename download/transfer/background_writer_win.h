// Writes a download's buffers to its file on a thread of its own, so the
// next read from the network overlaps the write of the last one. A verified
// body is hashed as it is written, so it is never read back: the writer's
// second thread hashes each buffer once written, so that the write of one
// buffer overlaps the hash of the one before (under Wine both are slower
// than the network, and a large file's writes wait for the disk). Buffers
// and threads come only as the body needs them: a body of one read (most
// small files) is written and hashed by Finish on the caller's thread,
// without starting any; so is a body announced small (a picture): under
// Wine a thread costs more than writing a megabyte. A large body is flushed
// to disk in steps as it is written, so that making it durable at the end
// costs little.
#pragma once
#include "win/handles_win.h"

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace pelmora {

class Sha256Stream;

class BackgroundWriter {
public:
    // `file` and `hash` (null: no hashing) are borrowed and must stay valid
    // until Finish returned; `hash` gets the bytes in the order written.
    // `announced`: the bytes the server said are still to come, if it did;
    // up to kWriteAlongBytes they go through one buffer of their size,
    // written as they are submitted.
    BackgroundWriter(HANDLE file, size_t bufferBytes, size_t bufferCount,
                     Sha256Stream* hash = nullptr, std::optional<uint64_t> announced = {});
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    static constexpr uint64_t kWriteAlongBytes = 1024 * 1024;

    // A buffer of BufferBytes() to read into; waits while every buffer is
    // queued for writing. Null after a write failed.
    char* Acquire();
    size_t BufferBytes() const noexcept { return bufferBytes_; }
    // Queues the first `size` bytes of a buffer from Acquire for writing.
    void Submit(char* buffer, DWORD size);
    // Waits until everything queued is written; the GetLastError of the first
    // failed write, or ERROR_SUCCESS.
    DWORD Finish();

private:
    struct Piece {
        char* buffer;
        DWORD size;
    };
    void Run();
    void RunHash();
    bool StartThreads();  // under the lock
    DWORD WriteNow(const Piece& piece);

    HANDLE file_;
    Sha256Stream* hash_;
    size_t bufferBytes_;
    size_t bufferCount_;
    bool writeAlong_;  // each piece written as it is submitted, on the caller's thread
    std::optional<Piece> held_;  // the first piece, until a second one comes
    std::vector<std::unique_ptr<char[]>> storage_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<char*> free_;
    std::deque<Piece> queued_;
    std::deque<Piece> written_;  // waiting to be hashed
    uint64_t unflushed_ = 0;  // the writer thread's own
    bool writing_ = false;
    bool hashing_ = false;
    bool stopping_ = false;
    DWORD error_ = ERROR_SUCCESS;
    win::Handle thread_;
    win::Handle hashThread_;
};

}  // namespace pelmora
