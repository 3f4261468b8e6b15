// DownloadToFile against tools/test_server, which the ctest fixture starts on
// 127.0.0.1: every case sets up its own files and faults below its own path.
#include <winsock2.h>  // before <windows.h>

#include "win/local_text_win.h"
#include "download/transfer/background_writer_win.h"
#include "download/transfer/download_to_file_win.h"
#include "download/transfer/proxy_credentials_win.h"
#include "trust/sha256_win.h"
#include "win/files_win.h"

#include "tests/download/recording_target.h"
#include "tests/support/file_bytes_win.h"
#include "tests/support/test_server_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace pelmora {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;
using Clock = std::chrono::steady_clock;

const std::string kOldBytes = "the file that was there before\n";

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 16);
    }
    return bytes;
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto start = Clock::now();
    while (!done()) {
        if (MillisecondsSince(start) > timeoutMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

int CountLines(const std::string& text, const std::string& start) {
    int count = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        if (text.compare(at, start.size(), start) == 0) ++count;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return count;
}

class DownloadToFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Connect()) << "the test server fixture is not running";
        name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(server_.Reset("/" + name_ + "/"));
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"pelmora-download-" +
                  std::to_wstring(::GetCurrentProcessId()) + L"-" + Wide(name_) + L"\\";
        ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
        destination_ = folder_ + L"setup.exe";
        ASSERT_TRUE(WriteFileBytes(destination_, kOldBytes));
    }

    void TearDown() override {
        // An abandoned transfer cleans up its own file when it ends; the test
        // server closes every held connection within a few seconds.
        WaitUntil([&] { return LeftoverFiles().empty(); }, 10000);
        for (const std::wstring& file : LeftoverFiles()) ::DeleteFileW((folder_ + file).c_str());
        ::DeleteFileW(destination_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }

    static std::wstring Wide(const std::string& ascii) {
        return std::wstring(ascii.begin(), ascii.end());
    }
    // The server path of `file` below this test's own folder.
    std::string Path(const std::string& file) const { return "/" + name_ + "/" + file; }
    std::wstring Url(const std::wstring& file) const {
        return server_.Url(L"/" + Wide(name_) + L"/" + file);
    }
    std::string Served(const std::string& file, size_t size, unsigned seed = 1) {
        const std::string bytes = Pattern(size, seed);
        EXPECT_TRUE(server_.PutFile(Path(file), bytes));
        return bytes;
    }
    std::string Log() { return server_.Log("/" + name_ + "/"); }

    // Files in the test folder other than the destination (unfinished downloads).
    std::vector<std::wstring> LeftoverFiles() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = ::FindFirstFileW((folder_ + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L".." && name != L"setup.exe") names.push_back(name);
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        return names;
    }

    // Compared without printing: a mismatch would dump megabytes.
    bool KeptOldFile() const { return ReadFileBytes(destination_) == kOldBytes; }

    // A failure that is neither success, time-out nor cancel, and leaves the
    // old file exactly as it was with nothing beside it.
    void ExpectFailureKeepsOldFile(HRESULT result) {
        EXPECT_NE(result, S_OK);
        EXPECT_NE(result, kDownloadTimedOut);
        EXPECT_NE(result, E_ABORT);
        EXPECT_TRUE(KeptOldFile());
        EXPECT_TRUE(LeftoverFiles().empty());
    }

    testsupport::TestServer server_;
    std::string name_;
    std::wstring folder_;
    std::wstring destination_;
};

TEST_F(DownloadToFileTest, ReplacesTheFileAndShowsEachPercentOnce) {
    const std::string bytes = Served("setup.exe", 3 * 1024 * 1024 + 17);
    RecordingTarget target;
    EXPECT_EQ(DownloadToFile(Url(L"setup.exe"), destination_, 4, &target, 10000, false), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == bytes);
    EXPECT_TRUE(LeftoverFiles().empty());

    const std::vector<std::pair<int, int>> shown = target.Shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_LE(shown.size(), 100u);
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].first, 4);
        if (i > 0) {
            EXPECT_GT(shown[i].second, shown[i - 1].second);
        }
    }
    EXPECT_EQ(shown.back().second, 100);
}

TEST_F(DownloadToFileTest, NotContinuingAlwaysAsksTheServer) {
    const std::string first = Served("Pelmora.txt", 4096, 1);
    EXPECT_EQ(DownloadToFile(Url(L"Pelmora.txt"), destination_, 0, nullptr, 10000, false), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == first);

    const std::string second = Served("Pelmora.txt", 4096, 2);  // same size, new bytes
    EXPECT_EQ(DownloadToFile(Url(L"Pelmora.txt"), destination_, 0, nullptr, 10000, false), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == second);
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, "GET " + Path("Pelmora.txt")), 2) << log;
    EXPECT_NE(log.find("Pragma: no-cache"), std::string::npos) << log;

    // Continuing may use a cached copy, but it still fetches the file.
    EXPECT_EQ(DownloadToFile(Url(L"Pelmora.txt"), destination_, 0, nullptr, 10000, true), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == second);
}

TEST_F(DownloadToFileTest, ATextFileIsReadAsFetchedWhateverTheSharedFileBecomes) {
    const std::string fetched = Served("Pelmora.txt", 4096, 3);
    EXPECT_EQ(DownloadToFile(Url(L"Pelmora.txt"), destination_, 0, nullptr, 10000, false), S_OK);
    ASSERT_TRUE(WriteFileBytes(destination_, "Pelmora v9.9.9v1 sha256:planted"));  // a neighbour
    std::string read;
    ASSERT_TRUE(ReadFileHead(destination_, 1 << 20, read));
    EXPECT_TRUE(read == fetched);
    Served("setup.exe", 4096);  // not a text file: nothing kept in memory
    EXPECT_EQ(DownloadToFile(Url(L"setup.exe"), destination_, 0, nullptr, 10000, false), S_OK);
    EXPECT_FALSE(win::WrittenBytes(destination_, read));
}

TEST_F(DownloadToFileTest, EncodesTheUrlOnce) {
    const std::string bytes = Served("caf%e9%20menu.txt", 100);
    EXPECT_EQ(DownloadToFile(Url(L"caf\u00e9 menu.txt"), destination_, 0, nullptr, 10000, false),
              S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == bytes);
    // An escape already in the URL reaches the server unchanged.
    EXPECT_EQ(DownloadToFile(Url(L"caf%e9%20menu.txt"), destination_, 0, nullptr, 10000, false),
              S_OK);
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, "GET " + Path("caf%e9%20menu.txt") + "\t"), 2) << log;
}

TEST_F(DownloadToFileTest, FollowsRedirects) {
    const std::string bytes = Served("moved/setup.exe", 5000);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "redirect=http://127.0.0.1:" + std::to_string(server_.port()) +
                                                       Path("moved/setup.exe")));
    EXPECT_EQ(DownloadToFile(Url(L"setup.exe"), destination_, 0, nullptr, 10000, false), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == bytes);
}

TEST_F(DownloadToFileTest, ErrorStatusesAreFailuresAndNeverSaved) {
    const HRESULT missing =
        DownloadToFile(Url(L"missing.exe"), destination_, 0, nullptr, 10000, false);
    ExpectFailureKeepsOldFile(missing);
    EXPECT_EQ(missing & 0xFFFF, 404);

    Served("broken.exe", 1000);
    ASSERT_TRUE(server_.SetRule(Path("broken.exe"), "status=500"));
    RecordingTarget target;
    const HRESULT broken = DownloadToFile(Url(L"broken.exe"), destination_, 1, &target, 10000, false);
    ExpectFailureKeepsOldFile(broken);
    EXPECT_EQ(broken & 0xFFFF, 500);
    EXPECT_TRUE(target.Shown().empty());
}

TEST_F(DownloadToFileTest, ABodyCutShortIsAFailure) {
    Served("setup.exe", 200000);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "close_after=100000"));
    ExpectFailureKeepsOldFile(
        DownloadToFile(Url(L"setup.exe"), destination_, 0, nullptr, 10000, false));
}

TEST_F(DownloadToFileTest, StallsTimeOutAndKeepTheOldFile) {
    Served("setup.exe", 200000);
    const DWORD timeoutMs = 600;
    for (const char* rule : {"stall_after=0&stall_ms=4000", "stall_after=100000&stall_ms=4000",
                             "delay_ms=4000"}) {
        ASSERT_TRUE(server_.SetRule(Path("setup.exe"), rule));
        const auto start = Clock::now();
        EXPECT_EQ(DownloadToFile(Url(L"setup.exe"), destination_, 0, nullptr, timeoutMs, false),
                  kDownloadTimedOut)
            << rule;
        const long long elapsed = MillisecondsSince(start);
        EXPECT_GE(elapsed, timeoutMs - 50) << rule;
        EXPECT_LT(elapsed, timeoutMs + 1500) << rule;
        EXPECT_TRUE(KeptOldFile()) << rule;
    }
}

int g_paints = 0;

LRESULT CALLBACK PaintCounter(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg != WM_PAINT) return ::DefWindowProcW(wnd, msg, wp, lp);
    ++g_paints;
    PAINTSTRUCT paint;
    ::BeginPaint(wnd, &paint);
    ::EndPaint(wnd, &paint);
    return 0;
}

// The start-up waits on the window thread: its windows keep painting, while
// input waits for the message loop.
TEST_F(DownloadToFileTest, AWaitingWindowThreadPaintsAndLeavesInputQueued) {
    Served("setup.exe", 200000);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "stall_after=0&stall_ms=4000"));
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PaintCounter;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PelmoraPaintCounter";
    ::RegisterClassW(&windowClass);
    const HWND wnd = ::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0,
                                       0, 60, 60, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(wnd, nullptr);
    ::PostMessageW(wnd, WM_KEYDOWN, VK_SPACE, 0);
    g_paints = 0;
    // Something uncovers the window again and again while the transfer waits.
    std::thread uncover([wnd] {
        for (int i = 0; i < 4; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            ::InvalidateRect(wnd, nullptr, TRUE);
        }
    });
    EXPECT_EQ(DownloadToFile(Url(L"setup.exe"), destination_, 0, nullptr, 1000, false),
              kDownloadTimedOut);
    uncover.join();
    EXPECT_GE(g_paints, 3);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, wnd, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) << "input stays queued";
    ::DestroyWindow(wnd);
}

TEST_F(DownloadToFileTest, ASlowSteadyServerNeverTimesOut) {
    const std::string bytes = Served("setup.exe", 6000);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "rate=3000"));
    RecordingTarget target;
    const DWORD timeoutMs = 700;
    const auto start = Clock::now();
    EXPECT_EQ(DownloadToFile(Url(L"setup.exe"), destination_, 2, &target, timeoutMs, false), S_OK);
    EXPECT_GT(MillisecondsSince(start), 2 * timeoutMs);  // far longer than the time-out in all
    EXPECT_TRUE(ReadFileBytes(destination_) == bytes);
    EXPECT_GT(target.Shown().size(), 5u);
}

TEST_F(DownloadToFileTest, WithoutALengthShowsZeroAndStillCompletes) {
    const std::string bytes = Served("setup.exe", 5000);
    for (const char* framing : {"length=chunked", "length=close"}) {
        ASSERT_TRUE(server_.SetRule(Path("setup.exe"), std::string(framing) + "&rate=3000"));
        ASSERT_TRUE(WriteFileBytes(destination_, kOldBytes));
        RecordingTarget target;
        EXPECT_EQ(DownloadToFile(Url(L"setup.exe"), destination_, 1, &target, 700, false), S_OK)
            << framing;
        EXPECT_TRUE(ReadFileBytes(destination_) == bytes) << framing;
        EXPECT_TRUE(target.Shown().empty()) << framing;
    }
}

// One piece is written by Finish itself; more start the writer's threads; a
// large body is flushed on the way; a body announced small is written as it
// comes. Either way the file and the digest get every byte, in order.
TEST(BackgroundWriterTest, WritesAndHashesEveryPieceInOrder) {
    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, folder), 0u);
    struct Row {
        size_t pieces;
        size_t pieceBytes;
        std::optional<uint64_t> announced;
    };
    for (const Row row : {Row{1, 1000}, Row{2, 1000}, Row{9, 1000}, Row{18, 1 << 20},
                          Row{9, 1000, 9000}}) {
        const size_t pieces = row.pieces;
        const std::wstring path = folder + (L"pelmora-writer-" + std::to_wstring(pieces));
        const std::string bytes = Pattern(pieces * row.pieceBytes, static_cast<unsigned>(pieces));
        const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        Sha256Stream hash;
        {
            BackgroundWriter writer(file, row.pieceBytes, 3, &hash, row.announced);
            ASSERT_GE(writer.BufferBytes(), row.pieceBytes);
            for (size_t at = 0; at < bytes.size(); at += row.pieceBytes) {
                char* buffer = writer.Acquire();
                ASSERT_NE(buffer, nullptr);
                bytes.copy(buffer, row.pieceBytes, at);
                writer.Submit(buffer, static_cast<DWORD>(row.pieceBytes));
            }
            EXPECT_EQ(writer.Finish(), static_cast<DWORD>(ERROR_SUCCESS));
        }
        ::CloseHandle(file);
        EXPECT_EQ(hash.Finish(), Sha256Of(bytes)) << pieces;
        EXPECT_EQ(ReadFileBytes(path), bytes) << pieces;
        ::DeleteFileW(path.c_str());
    }
}

TEST_F(DownloadToFileTest, CancelStopsARunningTransferPromptly) {
    Served("setup.exe", 400000);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "rate=100000"));  // four seconds in all
    RecordingTarget target(/*cancelAtPercent=*/10);
    const auto start = Clock::now();
    const HRESULT result = DownloadToFile(Url(L"setup.exe"), destination_, 3, &target, 10000, false);
    EXPECT_EQ(result, E_ABORT);
    EXPECT_LT(MillisecondsSince(start), 2000);
    EXPECT_TRUE(KeptOldFile());
    EXPECT_TRUE(LeftoverFiles().empty());
    ASSERT_FALSE(target.Percents().empty());
    EXPECT_LT(target.Percents().back(), 100);
}

TEST_F(DownloadToFileTest, AnAbandonedTransferThatResumesLeavesNoTrace) {
    Served("setup.exe", 300000);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"),
                                "stall_after=150000&stall_ms=1500&after_stall=resume"));
    RecordingTarget target;
    EXPECT_EQ(DownloadToFile(Url(L"setup.exe"), destination_, 5, &target, 500, false),
              kDownloadTimedOut);
    const size_t shownAtReturn = target.Shown().size();
    EXPECT_GT(shownAtReturn, 0u);

    // The server sends the rest a second later; the left transfer reads it
    // all, then removes its own file without touching the destination.
    EXPECT_FALSE(LeftoverFiles().empty());
    EXPECT_TRUE(WaitUntil([&] { return LeftoverFiles().empty(); }, 10000));
    EXPECT_TRUE(KeptOldFile());
    EXPECT_EQ(target.Shown().size(), shownAtReturn);
}

// A target whose cancel event the user sets while the server is silent.
class CancelEventTarget final : public RecordingTarget {
public:
    CancelEventTarget() : cancel_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~CancelEventTarget() override { ::CloseHandle(cancel_); }
    void* CancelEvent() const override { return cancel_; }
    void Cancel() { ::SetEvent(cancel_); }

private:
    HANDLE cancel_;
};

TEST_F(DownloadToFileTest, TheCancelEventEndsAStalledTransferAtOnce) {
    Served("setup.exe", 300000);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"),
                                "stall_after=150000&stall_ms=2000&after_stall=resume"));
    CancelEventTarget target;
    std::thread user([&] {
        ::Sleep(700);
        target.Cancel();
    });
    const auto start = Clock::now();
    EXPECT_EQ(DownloadToFile(Url(L"setup.exe"), destination_, 2, &target, 30000, false), E_ABORT);
    const auto took = MillisecondsSince(start);
    user.join();
    EXPECT_GE(took, 650);
    EXPECT_LT(took, 1000);  // the stall lasts 2 s, the time-out 30 s
    const size_t shownAtReturn = target.Shown().size();
    EXPECT_GT(shownAtReturn, 0u);
    // When the server resumes, the abandoned transfer reports nothing more
    // and leaves the destination as it was.
    EXPECT_TRUE(WaitUntil([&] { return LeftoverFiles().empty(); }, 10000));
    EXPECT_TRUE(KeptOldFile());
    EXPECT_EQ(target.Shown().size(), shownAtReturn);
}

TEST_F(DownloadToFileTest, AbandonedTransfersHoldNothingLaterDownloadsNeed) {
    Served("stalled.exe", 100000);
    ASSERT_TRUE(server_.SetRule(Path("stalled.exe"), "stall_after=1000&stall_ms=5000"));
    for (int i = 0; i < 3; ++i)  // more than the usual connections per server
        EXPECT_EQ(DownloadToFile(Url(L"stalled.exe"), destination_, 0, nullptr, 300, false),
                  kDownloadTimedOut);

    const std::string bytes = Served("small.txt", 2000);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(WriteFileBytes(destination_, kOldBytes));
        RecordingTarget target;
        EXPECT_EQ(DownloadToFile(Url(L"small.txt"), destination_, i, &target, 3000, false), S_OK)
            << "download " << i;
        EXPECT_TRUE(ReadFileBytes(destination_) == bytes) << "download " << i;
    }
}

TEST_F(DownloadToFileTest, UnreachableServerOrMissingFolderFail) {
    // A port that was free a moment ago: nobody listens there.
    WSADATA wsa;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::closesocket(probe);
    ::WSACleanup();
    const std::wstring closed =
        L"http://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port)) + L"/tools/x.txt";
    ExpectFailureKeepsOldFile(DownloadToFile(closed, destination_, 0, nullptr, 10000, false));

    Served("setup.exe", 100);
    const HRESULT noFolder = DownloadToFile(Url(L"setup.exe"), folder_ + L"absent\\setup.exe", 0,
                                            nullptr, 10000, false);
    ExpectFailureKeepsOldFile(noFolder);
}

// ---- what real networks send ------------------------------------------------

class HardenedDownloadTest : public DownloadToFileTest {
protected:
    std::wstring Partial() const { return folder_ + L"setup.exe.partial"; }
    HRESULT Fetch(const std::wstring& file, const DownloadOptions& options) {
        return DownloadToFile(Url(file), destination_, 0, nullptr, 10000, false, options);
    }
    DownloadOptions Resumable() const {
        DownloadOptions options;
        options.partialPath = Partial();
        return options;
    }
    void TearDown() override {
        ::DeleteFileW(Partial().c_str());
        ::DeleteFileW(ResumeValidatorPath(Partial()).c_str());
        DownloadToFileTest::TearDown();
    }
};

TEST_F(HardenedDownloadTest, RefusesEncodedEndlessAndWanderingAnswers) {
    Served("setup.exe", 50000);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "encoding=gzip"));
    const HRESULT encoded = Fetch(L"setup.exe", {});
    EXPECT_EQ(encoded, kDownloadEncodedBody);
    ExpectFailureKeepsOldFile(encoded);

    DownloadOptions capped;
    capped.maxBytes = 200000;
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "endless=1"));
    EXPECT_EQ(Fetch(L"setup.exe", capped), kDownloadTooLarge);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "rate=100000000"));  // announced length
    capped.maxBytes = 10000;
    EXPECT_EQ(Fetch(L"setup.exe", capped), kDownloadTooLarge);
    EXPECT_TRUE(KeptOldFile());

    // A chain of redirects arrives; a loop and a jump to another scheme do not.
    const std::string base = "http://127.0.0.1:" + std::to_string(server_.port());
    const std::string bytes = Served("end.exe", 3000);
    ASSERT_TRUE(server_.SetRule(Path("a"), "redirect=" + Path("b")));  // relative
    ASSERT_TRUE(server_.SetRule(Path("b"), "redirect=" + base + Path("end.exe")));
    EXPECT_EQ(Fetch(L"a", {}), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == bytes);
    ASSERT_TRUE(WriteFileBytes(destination_, kOldBytes));
    ASSERT_TRUE(server_.SetRule(Path("b"), "redirect=" + Path("a")));
    EXPECT_EQ(Fetch(L"a", {}), kDownloadBadRedirect);
    ASSERT_TRUE(server_.SetRule(Path("b"), "redirect=ftp://127.0.0.1/end.exe"));
    EXPECT_EQ(Fetch(L"a", {}), kDownloadBadRedirect);
    EXPECT_TRUE(KeptOldFile());

    // A CDN's signed location, absolute and relative, followed whatever its
    // length up to a URL's longest; a longer one is refused.
    std::string signature = "?Expires=1767225600&Signature=";
    while (signature.size() < 1450) signature += "9f2c4e7a0b1d3c5e";
    signature += "&Key-Pair-Id=K2EXAMPLE";
    const auto escaped = [](std::string text) {
        for (const auto& [from, to] : {std::pair{"?", "%3F"}, {"&", "%26"}, {"=", "%3D"}})
            for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += 3)
                text.replace(at, 1, to);
        return text;
    };
    for (const std::string& location :
         {base + Path("end.exe") + signature, Path("end.exe") + signature}) {
        ASSERT_TRUE(server_.SetRule(Path("b"), "redirect=" + escaped(location)));
        EXPECT_EQ(Fetch(L"b", {}), S_OK) << location.size();
        EXPECT_TRUE(ReadFileBytes(destination_) == bytes);
        EXPECT_NE(Log().find("GET " + Path("end.exe") + signature), std::string::npos);
    }
    ASSERT_TRUE(WriteFileBytes(destination_, kOldBytes));
    ASSERT_TRUE(server_.SetRule(Path("b"), "redirect=" + escaped(Path("end.exe") + signature +
                                                                   std::string(1000, 'x'))));
    EXPECT_EQ(Fetch(L"b", {}), kDownloadBadRedirect);
    EXPECT_TRUE(KeptOldFile());

    const std::string log = Log();
    EXPECT_LE(CountLines(log, "GET " + Path("a")), 1 + 6 + 1) << log;  // the loop is bounded
    EXPECT_NE(log.find("Accept-Encoding: identity"), std::string::npos) << log;
    EXPECT_EQ(log.find("Cookie"), std::string::npos) << log;
}

TEST_F(HardenedDownloadTest, ATrickleBelowTheRateFloorIsTooSlow) {
    Served("setup.exe", 6000);
    DownloadOptions floor;
    floor.rateFloor = RateFloor{1024, 1500};
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "endless=1&rate=100"));  // never idle
    const HRESULT trickled = Fetch(L"setup.exe", floor);
    EXPECT_EQ(trickled, kDownloadTooSlow);
    EXPECT_TRUE(KeptOldFile());  // the transfer, abandoned, still trickles into its own file
    // Above the floor, a body arrives however long it takes, unless there is a deadline.
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "rate=3000"));
    EXPECT_EQ(Fetch(L"setup.exe", floor), S_OK);
    floor.rateFloor.deadlineMs = 1000;
    EXPECT_EQ(Fetch(L"setup.exe", floor), kDownloadPastDeadline);
}

TEST_F(HardenedDownloadTest, AServersOwn407GetsNoCredentialsAndNoPrompt) {
    Served("setup.exe", 100);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "status=407"));  // no proxy in use
    EXPECT_EQ(Fetch(L"setup.exe", {}), kDownloadProxyAuthRequired);
    EXPECT_FALSE(AskProxyCredentials(nullptr, Url(L"setup.exe"), 10000));  // shown, it would hang
    EXPECT_FALSE(ProxyAsksForCredentials());
}

TEST_F(HardenedDownloadTest, ACutDownloadResumesWithOneRangeRequest) {
    const std::string bytes = Served("setup.exe", 1000000);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "close_after=600000"));
    EXPECT_NE(Fetch(L"setup.exe", Resumable()), S_OK);
    EXPECT_TRUE(KeptOldFile());
    EXPECT_EQ(ReadFileBytes(Partial()).size(), 600000u);
    // A server error on the way keeps what arrived.
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "status=503"));
    EXPECT_NE(Fetch(L"setup.exe", Resumable()), S_OK);
    EXPECT_EQ(ReadFileBytes(Partial()).size(), 600000u);

    ASSERT_TRUE(server_.Reset(Path("")));
    DownloadOptions checked = Resumable();
    checked.expectedDigest = Sha256Of(bytes);
    EXPECT_EQ(Fetch(L"setup.exe", checked), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == bytes);
    EXPECT_TRUE(LeftoverFiles().empty());
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, "GET "), 1) << log;
    EXPECT_NE(log.find("Range: bytes=600000-"), std::string::npos) << log;
    EXPECT_NE(log.find("If-Range: \""), std::string::npos) << log;
}

TEST_F(HardenedDownloadTest, AChangedOrShorterFileStartsOver) {
    Served("setup.exe", 400000, 1);
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "close_after=300000"));
    EXPECT_NE(Fetch(L"setup.exe", Resumable()), S_OK);
    // A new file on the server: its validator differs, so the answer is all of it.
    const std::string changed = Served("setup.exe", 400000, 2);
    ASSERT_TRUE(server_.Reset(Path("")));
    EXPECT_EQ(Fetch(L"setup.exe", Resumable()), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == changed);
    EXPECT_EQ(CountLines(Log(), "GET "), 1);

    // A partial body longer than the file (416): fetched again whole.
    const std::string small = Served("small.exe", 1000, 3);
    ASSERT_TRUE(server_.SetRule(Path("small.exe"), "etag=v1"));
    ASSERT_TRUE(WriteFileBytes(Partial(), std::string(2000, 'x')));
    ASSERT_TRUE(WriteFileBytes(ResumeValidatorPath(Partial()), "\"v1\""));
    ASSERT_TRUE(server_.Reset(Path("")));
    ASSERT_TRUE(server_.SetRule(Path("small.exe"), "etag=v1"));
    EXPECT_EQ(Fetch(L"small.exe", Resumable()), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == small);
    EXPECT_EQ(CountLines(Log(), "GET "), 2);
    EXPECT_TRUE(LeftoverFiles().empty());
}

TEST_F(HardenedDownloadTest, ADigestMismatchKeepsNothing) {
    const std::string bytes = Served("setup.exe", 100000);
    DownloadOptions options = Resumable();
    options.expectedDigest = Sha256Of(bytes);
    (*options.expectedDigest)[0] ^= 1;
    ExpectFailureKeepsOldFile(Fetch(L"setup.exe", options));
    EXPECT_EQ(Fetch(L"setup.exe", options), kDownloadDigestMismatch);

    // A body without a length that ends early looks whole; only the digest tells.
    ASSERT_TRUE(server_.SetRule(Path("setup.exe"), "length=close&close_after=60000"));
    EXPECT_EQ(Fetch(L"setup.exe", {}), S_OK);  // undetectable without a digest
    EXPECT_EQ(ReadFileBytes(destination_).size(), 60000u);
    options.expectedDigest = Sha256Of(bytes);
    EXPECT_EQ(Fetch(L"setup.exe", options), kDownloadDigestMismatch);
    EXPECT_TRUE(LeftoverFiles().empty());
}

// A body that takes longer to hash than the time-out allows between two
// pieces of progress: hashing goes on as it is written, and the kept part of
// a resumed one counts as progress, so neither times out at the end.
TEST_F(HardenedDownloadTest, HashingAnyBodyIsProgressNeverATimeOut) {
    // Hashing 224 MiB takes longer under Wine (about 1.2 s), also on a busy machine.
    constexpr DWORD kShortTimeoutMs = 1000;
    const std::string bytes = Served("big.exe", 224u << 20);
    DownloadOptions checked = Resumable();
    checked.expectedDigest = Sha256Of(bytes);
    const auto fetch = [&] {
        return DownloadToFile(Url(L"big.exe"), destination_, 0, nullptr, kShortTimeoutMs, false,
                              checked);
    };
    EXPECT_EQ(fetch(), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == bytes);

    // Cut at 200 MiB, then continued: the kept part is hashed first.
    ASSERT_TRUE(server_.SetRule(Path("big.exe"), "close_after=209715200&etag=v1"));
    EXPECT_NE(fetch(), S_OK);
    ASSERT_EQ(ReadFileBytes(Partial()).size(), 209715200u);
    ASSERT_TRUE(server_.Reset(Path("")));
    ASSERT_TRUE(server_.SetRule(Path("big.exe"), "etag=v1"));
    ASSERT_TRUE(WriteFileBytes(destination_, kOldBytes));
    EXPECT_EQ(fetch(), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == bytes);
    std::string log = Log();
    EXPECT_EQ(CountLines(log, "GET "), 1) << log;
    EXPECT_NE(log.find("Range: bytes=209715200-"), std::string::npos) << log;

    // A kept part that is already the whole file (416, "bytes */N") is
    // checked and taken, not fetched again; one that does not match is dropped.
    ASSERT_TRUE(WriteFileBytes(Partial(), bytes));
    ASSERT_TRUE(WriteFileBytes(ResumeValidatorPath(Partial()), "\"v1\""));
    ASSERT_TRUE(WriteFileBytes(destination_, kOldBytes));
    ASSERT_TRUE(server_.Reset(Path("")));
    ASSERT_TRUE(server_.SetRule(Path("big.exe"), "etag=v1"));
    EXPECT_EQ(fetch(), S_OK);
    EXPECT_TRUE(ReadFileBytes(destination_) == bytes);
    EXPECT_TRUE(LeftoverFiles().empty());
    log = Log();
    EXPECT_EQ(CountLines(log, "GET "), 1) << log;
    ASSERT_TRUE(WriteFileBytes(Partial(), bytes));
    ASSERT_TRUE(WriteFileBytes(ResumeValidatorPath(Partial()), "\"v1\""));
    ASSERT_TRUE(WriteFileBytes(destination_, kOldBytes));
    (*checked.expectedDigest)[31] ^= 1;
    EXPECT_EQ(fetch(), kDownloadDigestMismatch);
    EXPECT_TRUE(KeptOldFile());
    EXPECT_TRUE(LeftoverFiles().empty());
}

}  // namespace
}  // namespace pelmora
