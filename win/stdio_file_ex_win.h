// Text files of wide strings: 8-bit files in a chosen code page, or UTF-16
// files with a byte-order mark. Used for the per-program version.txt files.
#pragma once
#include <cstdio>
#include <string>

namespace pelmora {

class CStdioFileEx {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
        modeWriteUnicode = 0x20000,  // write UTF-16 with a byte-order mark
    };
    static constexpr int kAnsiCodePage = -1;  // the system's ANSI code page

    explicit CStdioFileEx(int codePage = kAnsiCodePage) noexcept : codePage_(codePage) {}
    ~CStdioFileEx() { Close(); }
    CStdioFileEx(const CStdioFileEx&) = delete;
    CStdioFileEx& operator=(const CStdioFileEx&) = delete;

    bool Open(const std::wstring& path, unsigned flags);
    void Close() noexcept;
    bool IsOpen() const noexcept { return file_ != nullptr; }
    bool IsUnicode() const noexcept { return isUnicode_; }

    // Reads one line without its line end; false at end of file.
    bool ReadString(std::wstring& line);
    // Writes the text; no line end is added.
    bool WriteString(const std::wstring& text);

private:
    bool ReadNarrowLine(std::wstring& line);
    bool ReadWideLine(std::wstring& line);
    unsigned EffectiveCodePage() const noexcept;
    bool TextMode() const noexcept { return (openFlags_ & typeBinary) == 0; }

    FILE* file_ = nullptr;
    bool isUnicode_ = false;
    unsigned openFlags_ = 0;
    int codePage_ = kAnsiCodePage;
};

// True when the file's first line equals `expected` exactly.
bool VersionFileMatches(const std::wstring& path, const std::wstring& expected);
// Replaces the file with `text` in the ANSI code page, no line end; the old
// file stays when the new one cannot be written whole (false, GetLastError).
bool WriteVersionFile(const std::wstring& path, const std::wstring& text);

}  // namespace pelmora
