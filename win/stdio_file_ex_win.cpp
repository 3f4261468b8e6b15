#include "win/stdio_file_ex_win.h"

#include "win/files_win.h"

#include <windows.h>

#include <share.h>

#include <string>

namespace pelmora {
namespace {
constexpr int kLineBytes = 4096;  // a line is read into a buffer of this size
}

bool CStdioFileEx::Open(const std::wstring& path, unsigned flags) {
    Close();
    openFlags_ = flags;
    const bool write = (flags & (modeWrite | modeReadWrite)) != 0;
    const bool create = (flags & modeCreate) != 0;
    const bool truncate = create && !(flags & modeNoTruncate);
    // Binary underneath: line ends and code pages are handled here.
    const wchar_t* mode = L"rb";
    if (write && truncate)
        mode = (flags & modeReadWrite) ? L"w+b" : L"wb";
    else if (write)
        mode = L"r+b";
    file_ = ::_wfsopen(path.c_str(), mode, write ? _SH_DENYWR : _SH_DENYNO);
    if (!file_ && write && create) file_ = ::_wfsopen(path.c_str(), L"w+b", _SH_DENYWR);
    if (!file_) return false;

    isUnicode_ = (flags & modeWriteUnicode) != 0;
    if (!write) {
        unsigned char bom[2] = {};
        isUnicode_ = std::fread(bom, 1, 2, file_) == 2 && bom[0] == 0xFF && bom[1] == 0xFE;
        std::fseek(file_, 0, SEEK_SET);
    }
    return true;
}

void CStdioFileEx::Close() noexcept {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

unsigned CStdioFileEx::EffectiveCodePage() const noexcept {
    return codePage_ == kAnsiCodePage ? ::GetACP() : static_cast<unsigned>(codePage_);
}

bool CStdioFileEx::ReadString(std::wstring& line) {
    if (!file_) return false;
    return isUnicode_ ? ReadWideLine(line) : ReadNarrowLine(line);
}

bool CStdioFileEx::ReadNarrowLine(std::wstring& line) {
    // As fgets into a 4096-byte buffer: up to 4095 bytes, through the first LF.
    std::string bytes;
    int c = 0;
    while (bytes.size() < kLineBytes - 1 && (c = std::fgetc(file_)) != EOF) {
        bytes.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    if (bytes.empty()) return false;

    const unsigned codePage = EffectiveCodePage();
    const DWORD flags = codePage == CP_UTF8 ? 0 : MB_PRECOMPOSED;
    wchar_t wide[kLineBytes];
    const int n = ::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                        wide, kLineBytes);
    // A line that cannot be converted reads as empty, never as the previous line.
    line.assign(wide, n > 0 ? static_cast<size_t>(n) : 0);
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, L"\r\n") == 0)
        line.resize(line.size() - 2);
    else if (!line.empty() && (line.back() == L'\r' || line.back() == L'\n'))
        line.pop_back();
    return true;
}

bool CStdioFileEx::ReadWideLine(std::wstring& line) {
    if (std::ftell(file_) == 0) {
        unsigned char bom[2];
        if (std::fread(bom, 1, 2, file_) != 2) return false;
    }
    line.clear();
    unsigned char unit[2];
    bool any = false;
    while (std::fread(unit, 1, 2, file_) == 2) {
        any = true;
        const wchar_t ch = static_cast<wchar_t>(unit[0] | (unit[1] << 8));
        if (ch == L'\n') break;
        line.push_back(ch);
    }
    if (!any) return false;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    return true;
}

bool CStdioFileEx::WriteString(const std::wstring& text) {
    if (!file_) return false;
    if (openFlags_ & modeWriteUnicode) {
        if (std::ftell(file_) == 0) {
            const unsigned char bom[2] = {0xFF, 0xFE};
            if (std::fwrite(bom, 1, 2, file_) != 2) return false;
        }
        std::string bytes;
        for (wchar_t ch : text) {
            if (TextMode() && ch == L'\n') bytes.append("\r\0", 2);
            bytes.push_back(static_cast<char>(ch & 0xFF));
            bytes.push_back(static_cast<char>((ch >> 8) & 0xFF));
        }
        return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    }
    if (text.empty()) return true;
    const unsigned codePage = EffectiveCodePage();
    const DWORD flags = codePage == CP_UTF8 ? 0 : (WC_COMPOSITECHECK | WC_SEPCHARS);
    const int n = ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    std::string converted(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                          converted.data(), n, nullptr, nullptr);
    std::string bytes;
    for (char c : converted) {
        if (TextMode() && c == '\n') bytes.push_back('\r');  // text mode writes CR LF
        bytes.push_back(c);
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
}

bool VersionFileMatches(const std::wstring& path, const std::wstring& expected) {
    CStdioFileEx reader;
    if (!reader.Open(path, CStdioFileEx::modeRead | CStdioFileEx::typeText)) return false;
    std::wstring line;
    return reader.ReadString(line) && line == expected;
}

bool WriteVersionFile(const std::wstring& path, const std::wstring& text) {
    // Through the text writer for the bytes, then whole or not at all: a full
    // disk must not leave an empty version file that a later run reads.
    std::string bytes;
    if (!text.empty()) {
        const DWORD flags = ::GetACP() == CP_UTF8 ? 0 : (WC_COMPOSITECHECK | WC_SEPCHARS);
        const int size = static_cast<int>(text.size());
        const int n = ::WideCharToMultiByte(CP_ACP, flags, text.data(), size, nullptr, 0, nullptr,
                                            nullptr);
        if (n <= 0) return false;
        bytes.resize(static_cast<size_t>(n));
        ::WideCharToMultiByte(CP_ACP, flags, text.data(), size, bytes.data(), n, nullptr, nullptr);
    }
    std::string lines;
    for (const char c : bytes) {
        if (c == '\n') lines.push_back('\r');
        lines.push_back(c);
    }
    return win::ReplaceFileWith(path, lines);
}

}  // namespace pelmora
