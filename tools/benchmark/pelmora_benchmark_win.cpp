// Fetches one URL through DownloadToFile with a progress target and prints
// the time taken and the process's memory before and after, as key=value
// lines for tools/benchmark/run-benchmark.sh. A small download first (the
// optional WARMUP_URL) takes the process's one-time network set-up out of the
// measurement, as in Pelmora, whose installer downloads come after the
// start-up downloads. With a DIGEST (64 hex digits, or "-" for none) the
// download is verified as Pelmora verifies installers; `--hash FILE` times
// the hash of a file alone, as the system hashes it. `--many TRANSFERS
// LIST FOLDER` fetches every URL of the file LIST (one a line) into FOLDER
// over TRANSFERS transfers at once, as the start-up fetches pictures, and
// prints the time per file.
#include "download/transfer/download_to_file_win.h"
#include "download/transfer/parallel_fetch_win.h"
#include "trust/installer_digest_win.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Counts what a list row would be sent; a download always has an install run.
class CountingTarget : public pelmora::ProgressTarget {
public:
    bool InstallActive() const override { return true; }
    void ShowRowProgress(int, int percent) override {
        ++updates;
        lastPercent = percent;
    }
    int updates = 0;
    int lastPercent = 0;
};

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

// User and kernel time of this process so far.
double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto ticks = [](FILETIME t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int HashOnly(const wchar_t* path) {
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    const PROCESS_MEMORY_COUNTERS before = Memory();
    const double cpuBefore = CpuSeconds();
    ::QueryPerformanceCounter(&start);
    const std::optional<pelmora::Sha256Digest> digest = pelmora::FileSha256(path);
    ::QueryPerformanceCounter(&end);
    const PROCESS_MEMORY_COUNTERS after = Memory();
    std::printf("hash=%s\nhash_seconds=%.6f\nhash_cpu_seconds=%.6f\n",
                digest ? pelmora::Sha256Hex(*digest).c_str() : "none", Seconds(start, end),
                CpuSeconds() - cpuBefore);
    std::printf("hash_peak_private_before=%llu\nhash_peak_private_after=%llu\n",
                static_cast<unsigned long long>(before.PeakPagefileUsage),
                static_cast<unsigned long long>(after.PeakPagefileUsage));
    return digest ? 0 : 1;
}

int ManySmallFiles(size_t transfers, const wchar_t* list, const std::wstring& folder) {
    std::vector<pelmora::FetchItem> items;
    if (FILE* in = ::_wfopen(list, L"r")) {
        char line[4096];
        while (std::fgets(line, sizeof line, in)) {
            std::string url(line);
            while (!url.empty() && (url.back() == '\n' || url.back() == '\r')) url.pop_back();
            if (url.empty()) continue;
            items.push_back({std::wstring(url.begin(), url.end()),
                             folder + L"\\" + std::to_wstring(items.size()) + L".bin", u"host"});
        }
        std::fclose(in);
    }
    if (items.empty()) {
        std::fprintf(stderr, "no URL in the list\n");
        return 2;
    }
    const pelmora::Downloader download = [](const std::wstring& url, const std::wstring& path,
                                             DWORD timeoutMs) {
        return pelmora::DownloadToFile(url, path, 0, nullptr, timeoutMs, false);
    };
    std::vector<HRESULT> results;
    // The process's one-time network set-up is not the files' cost.
    pelmora::FetchInParallel(download, {items.front()}, 30000, 1, results);
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    ::QueryPerformanceCounter(&start);
    pelmora::FetchInParallel(download, items, 30000, transfers, results);
    ::QueryPerformanceCounter(&end);
    size_t failed = 0;
    for (const HRESULT result : results) failed += result != S_OK;
    std::printf("files=%zu\nfailed=%zu\nmany_seconds=%.6f\nper_file_ms=%.3f\n", items.size(),
                failed, Seconds(start, end), Seconds(start, end) * 1000 / items.size());
    return failed ? 1 : 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--hash") return HashOnly(argv[2]);
    if (argc == 5 && std::wstring(argv[1]) == L"--many")
        return ManySmallFiles(std::wcstoul(argv[2], nullptr, 10), argv[3], argv[4]);
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr,
                     "usage: pelmora_benchmark URL LOCAL_PATH [WARMUP_URL [DIGEST]]\n"
                     "       pelmora_benchmark --hash FILE\n");
        return 2;
    }
    pelmora::DownloadOptions options;
    if (argc == 5 && std::wstring(argv[4]) != L"-") {
        const std::wstring hex = argv[4];
        options.expectedDigest =
            pelmora::ParseSha256Hex(std::u16string(hex.begin(), hex.end()));
        if (!options.expectedDigest) {
            std::fprintf(stderr, "DIGEST must be 64 hexadecimal digits\n");
            return 2;
        }
    }
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    if (argc >= 4) {
        const std::wstring warmupPath = std::wstring(argv[2]) + L".warmup";
        ::QueryPerformanceCounter(&start);
        const HRESULT warmup = pelmora::DownloadToFile(argv[3], warmupPath, 0, nullptr, 30000, false);
        ::QueryPerformanceCounter(&end);
        ::DeleteFileW(warmupPath.c_str());
        std::printf("warmup_result=0x%08lx\nwarmup_seconds=%.6f\n",
                    static_cast<unsigned long>(warmup), Seconds(start, end));
    }
    const PROCESS_MEMORY_COUNTERS before = Memory();
    CountingTarget target;
    const double cpuBefore = CpuSeconds();
    ::QueryPerformanceCounter(&start);
    const HRESULT result = pelmora::DownloadToFile(argv[1], argv[2], 0, &target, 30000, false, options);
    ::QueryPerformanceCounter(&end);
    const PROCESS_MEMORY_COUNTERS after = Memory();

    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    ::GetFileAttributesExW(argv[2], GetFileExInfoStandard, &attributes);
    const unsigned long long bytes =
        (static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    std::printf("result=0x%08lx\n", static_cast<unsigned long>(result));
    std::printf("bytes=%llu\n", bytes);
    std::printf("seconds=%.6f\n", Seconds(start, end));
    std::printf("cpu_seconds=%.6f\n", CpuSeconds() - cpuBefore);
    std::printf("list_updates=%d\nlast_percent=%d\n", target.updates, target.lastPercent);
    std::printf("peak_working_set_before=%llu\npeak_working_set_after=%llu\n",
                static_cast<unsigned long long>(before.PeakWorkingSetSize),
                static_cast<unsigned long long>(after.PeakWorkingSetSize));
    std::printf("peak_private_before=%llu\npeak_private_after=%llu\n",
                static_cast<unsigned long long>(before.PeakPagefileUsage),
                static_cast<unsigned long long>(after.PeakPagefileUsage));
    return result == S_OK ? 0 : 1;
}
