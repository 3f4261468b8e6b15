// Reading the small text files that the start-up fetched.
#pragma once
#include <cstddef>
#include <string>

namespace pelmora {

// The file's first `maxBytes` bytes (all of a shorter file); false when it
// cannot be opened or read. A file this run fetched is read from memory as
// it arrived (win::WrittenBytes).
bool ReadFileHead(const std::wstring& path, size_t maxBytes, std::string& bytes);

// Stamp files are a line or twenty; a larger file is read no further than this.
constexpr size_t kStampFileMaxBytes = 1 << 20;

}  // namespace pelmora
