// System programs are started by full path, from the system folder.
#include "win/files_win.h"
#include "win/process_win.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(SystemProgram, IsNamedByTheSystemFolder) {
    wchar_t folder[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(folder, MAX_PATH), 0u);
    const std::wstring notepad = win::SystemProgram(L"notepad.exe");
    EXPECT_EQ(notepad, std::wstring(folder) + L"\\notepad.exe");
    EXPECT_TRUE(win::FileExists(notepad));
}

}  // namespace
