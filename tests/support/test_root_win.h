// A throwaway local root below the prefix's common documents folder, with
// Pelmora's folder tree and a folder of files for the fake server.
#pragma once
#include "tests/support/file_bytes_win.h"
#include "win/files_win.h"

#include <shellapi.h>
#include <windows.h>

#include <string>

namespace testsupport {

// Creates the missing folders of `path`'s parent, then writes the file.
inline bool WriteFileMakingFolders(const std::wstring& path, const std::string& bytes) {
    for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1))
        win::EnsureFolder(path.substr(0, slash));
    return WriteFileBytes(path, bytes);
}

class TestRoot {
  public:
    explicit TestRoot(const std::wstring& name) : root_(win::LocalRoot() + name + L"\\") {
        Remove();
        for (const wchar_t* folder :
             {L"", L"Korvath", L"Korvath\\tools", L"Korvath\\tools\\Pelmora"})
            win::EnsureFolder(root_ + folder);
    }
    ~TestRoot() { Remove(); }
    TestRoot(const TestRoot&) = delete;
    TestRoot& operator=(const TestRoot&) = delete;

    const std::wstring& Root() const { return root_; }  // ends in a backslash
    std::wstring ServerFolder() const { return root_ + L"server"; }
    // Serves `bytes` as http://server.test/<path>.
    void Publish(std::wstring path, const std::string& bytes) const {
        for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
        WriteFileMakingFolders(ServerFolder() + L"\\" + path, bytes);
    }

  private:
    void Remove() {
        std::wstring from = root_.substr(0, root_.size() - 1) + L'\0';  // a list of one
        SHFILEOPSTRUCTW op = {};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        ::SHFileOperationW(&op);
    }
    std::wstring root_;
};

}  // namespace testsupport
