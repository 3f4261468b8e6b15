// How much one read of a response body may ask for. A read returns only when
// it has all it asked for (or the body ends), and progress is reported per
// read, so a read must not outlast the inactivity time-out on a slow link,
// while a fast link wants large reads.
#pragma once
#include <cstdint>

namespace pelmora {

// `available` has already arrived, so a read never waits for that much. The
// last read asked for `lastAsked` bytes (0: no read yet) and took
// `lastMicroseconds`, its wait for data included. A read that came back
// within a small part of the time-out lets the next ask for twice as much; a
// slower one halves it. The result lies between `available` and `bufferBytes`.
uint32_t NextReadSize(uint32_t available, uint32_t lastAsked, uint64_t lastMicroseconds,
                      uint32_t timeoutMs, uint32_t bufferBytes);

}  // namespace pelmora
