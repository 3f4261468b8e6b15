// A throwaway local root below the prefix's common documents folder, with
// Pelmora's folder tree and a folder for the fake server's files.
#pragma once
#include "tests/support/file_bytes_win.h"
#include "win/files_win.h"

#include <windows.h>

#include <string>

namespace testsupport {

// Removes a folder and everything below it.
inline void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

// Creates every missing folder of `path`'s parent, then writes the file.
inline bool WriteFileMakingFolders(const std::wstring& path, const std::string& bytes) {
    for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1))
        win::EnsureFolder(path.substr(0, slash));
    return WriteFileBytes(path, bytes);
}

class TestRoot {
public:
    explicit TestRoot(const std::wstring& name) : root_(win::LocalRoot() + name + L"\\") {
        RemoveTree(root_.substr(0, root_.size() - 1));
        for (const wchar_t* folder : {L"", L"Korvath", L"Korvath\\tools", L"Korvath\\tools\\Pelmora",
                                      L"server"})
            win::EnsureFolder(root_ + folder);
    }
    ~TestRoot() { RemoveTree(root_.substr(0, root_.size() - 1)); }
    TestRoot(const TestRoot&) = delete;
    TestRoot& operator=(const TestRoot&) = delete;

    // Ends in a backslash, as the local root does.
    const std::wstring& Root() const { return root_; }
    std::wstring Tools() const { return root_ + L"Korvath\\tools\\"; }
    std::wstring Pelmora() const { return root_ + L"Korvath\\tools\\Pelmora\\"; }
    std::wstring ServerFolder() const { return root_ + L"server"; }
    // A file the fake server hands out under http://server.test/<path>.
    void Publish(const std::wstring& path, const std::string& bytes) const {
        std::wstring local = path;
        for (wchar_t& c : local)
            if (c == L'/') c = L'\\';
        WriteFileMakingFolders(ServerFolder() + L"\\" + local, bytes);
    }

private:
    std::wstring root_;
};

}  // namespace testsupport
