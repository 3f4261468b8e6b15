#include "win/stdio_file_ex_win.h"
#include "win/files_win.h"
#include "win/handles_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/file_bytes_win.h"

namespace pelmora {
namespace {

class TextFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = win::LocalRoot() + L"pelmora-text-file-test";
        ASSERT_TRUE(win::EnsureFolder(folder_));
        path_ = folder_ + L"\\version.txt";
        ::DeleteFileW(path_.c_str());
    }
    void TearDown() override {
        ::DeleteFileW(path_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }
    void Write(const std::string& bytes) { ASSERT_TRUE(testsupport::WriteFileBytes(path_, bytes)); }
    std::string Read() { return testsupport::ReadFileBytes(path_); }
    std::wstring folder_, path_;
};

TEST_F(TextFile, VersionWithLineEndsStillMatches) {
    Write("1.2.3\r\n");
    EXPECT_TRUE(VersionFileMatches(path_, L"1.2.3"));
    Write("1.2.3\n2.0.0\n");
    EXPECT_TRUE(VersionFileMatches(path_, L"1.2.3"));
    Write("1.2.3\r");
    EXPECT_TRUE(VersionFileMatches(path_, L"1.2.3"));
    Write("1.2.3");
    EXPECT_TRUE(VersionFileMatches(path_, L"1.2.3"));
}

TEST_F(TextFile, ComparisonIsExactAndCaseSensitive) {
    Write("1.2.3a");
    EXPECT_FALSE(VersionFileMatches(path_, L"1.2.3A"));
    EXPECT_FALSE(VersionFileMatches(path_, L"1.2.3"));
    Write(" 1.2.3");
    EXPECT_FALSE(VersionFileMatches(path_, L"1.2.3"));
}

TEST_F(TextFile, EmptyOrMissingFileNeverMatches) {
    EXPECT_FALSE(VersionFileMatches(path_, L""));
    EXPECT_FALSE(VersionFileMatches(path_, L"1.0"));
    Write("");
    EXPECT_FALSE(VersionFileMatches(path_, L""));
    EXPECT_FALSE(VersionFileMatches(path_, L"1.0"));
    Write("\r\n");
    EXPECT_TRUE(VersionFileMatches(path_, L""));  // one empty line was read
    EXPECT_FALSE(VersionFileMatches(path_, L"1.0"));
}

TEST_F(TextFile, WrittenVersionIsExactAnsiBytesWithoutLineEnd) {
    Write("an older and much longer version text\r\n");
    WriteVersionFile(path_, L"2.0.1 b\x00E9ta");  // é is 0xE9 in code page 1252
    ASSERT_EQ(::GetACP(), 1252u);
    EXPECT_EQ(Read(), std::string("2.0.1 b\xE9ta"));
    EXPECT_TRUE(VersionFileMatches(path_, L"2.0.1 b\x00E9ta"));
}

TEST_F(TextFile, WriteIntoMissingFolderDoesNothing) {
    const std::wstring missing = folder_ + L"\\no-such-folder\\version.txt";
    WriteVersionFile(missing, L"1.0");
    EXPECT_FALSE(win::FileExists(missing));
}

// A version file that cannot be replaced stays as it was: no empty file, no
// ".new" left beside it, and the caller learns the replacement's own error.
TEST_F(TextFile, FailedReplacementKeepsTheOldFileAndItsReason) {
    Write("1.0");
    {
        // Held open without delete sharing: the move over it must fail.
        const win::File holder(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(WriteVersionFile(path_, L"2.0"));
        const DWORD error = ::GetLastError();
        EXPECT_TRUE(error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) << error;
    }
    EXPECT_EQ(Read(), "1.0");
    EXPECT_FALSE(win::FileExists(path_ + L".new"));
}

TEST_F(TextFile, LongLineIsReadIn4095ByteParts) {
    Write(std::string(5000, 'x') + "\nnext");
    CStdioFileEx file;
    ASSERT_TRUE(file.Open(path_, CStdioFileEx::modeRead | CStdioFileEx::typeText));
    std::wstring line;
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line.size(), 4095u);
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, std::wstring(905, L'x'));
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, L"next");
    EXPECT_FALSE(file.ReadString(line));
}

TEST_F(TextFile, Utf16WithByteOrderMarkRoundTrips) {
    {
        CStdioFileEx writer;
        ASSERT_TRUE(writer.Open(path_, CStdioFileEx::modeCreate | CStdioFileEx::modeWrite |
                                           CStdioFileEx::modeWriteUnicode |
                                           CStdioFileEx::typeBinary));
        EXPECT_TRUE(writer.WriteString(L"\xD55C\xAD6D\xC5B4 1.0\r\n"));
        EXPECT_TRUE(writer.WriteString(L"second"));
    }
    const std::string bytes = Read();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFE);
    EXPECT_EQ(bytes.size(), 2u + 2u * (9 + 6));

    CStdioFileEx reader;
    ASSERT_TRUE(reader.Open(path_, CStdioFileEx::modeRead | CStdioFileEx::typeText));
    EXPECT_TRUE(reader.IsUnicode());
    std::wstring line;
    ASSERT_TRUE(reader.ReadString(line));
    EXPECT_EQ(line, L"\xD55C\xAD6D\xC5B4 1.0");
    ASSERT_TRUE(reader.ReadString(line));
    EXPECT_EQ(line, L"second");
    EXPECT_FALSE(reader.ReadString(line));
}

TEST_F(TextFile, ExplicitCodePageConvertsBothWays) {
    {
        CStdioFileEx writer(CP_UTF8);
        ASSERT_TRUE(writer.Open(path_, CStdioFileEx::modeCreate | CStdioFileEx::modeWrite |
                                           CStdioFileEx::typeText));
        EXPECT_TRUE(writer.WriteString(L"Za\x017C\x00F3\x0142\x0107\n"));
    }
    EXPECT_EQ(Read(), "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\r\n");  // text mode writes CR LF
    CStdioFileEx reader(CP_UTF8);
    ASSERT_TRUE(reader.Open(path_, CStdioFileEx::modeRead | CStdioFileEx::typeText));
    std::wstring line;
    ASSERT_TRUE(reader.ReadString(line));
    EXPECT_EQ(line, L"Za\x017C\x00F3\x0142\x0107");
}

}  // namespace
}  // namespace pelmora
