// Client side of tools/test_server for Windows tests: finds the server that
// the ctest fixture started (PELMORA_TEST_SERVER_DIR names its state folder,
// a Linux path reached through Wine's Z: drive) and uses its control API.
#pragma once
#include <windows.h>
#include <wininet.h>

#include "tests/support/file_bytes_win.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace testsupport {

class TestServer {
public:
    // False when no server is running for this test.
    bool Connect() {
        wchar_t dir[1024] = {};
        const DWORD n = ::GetEnvironmentVariableW(L"PELMORA_TEST_SERVER_DIR", dir, 1024);
        if (n == 0 || n >= 1024) return false;
        std::wstring path(dir, n);
        if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        port_ = std::atoi(ReadFileBytes(path + L"\\port").c_str());
        return port_ > 0 && Control("GET", "/__control/ping") == "ok\n";
    }

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `target` (which starts with "/").
    std::wstring Url(const std::wstring& target) const {
        return L"http://127.0.0.1:" + std::to_wstring(port_) + target;
    }

    // `path` is percent-encoded as it would appear in a request.
    bool PutFile(const std::string& path, const std::string& bytes) {
        return Control("PUT", "/__control/file?path=" + path, bytes).rfind("stored", 0) == 0;
    }
    // Drops the rules and logged requests of paths below `prefix`.
    bool Reset(const std::string& prefix) {
        return Control("GET", "/__control/reset?prefix=" + prefix) == "ok\n";
    }
    // `rules` as a query string, for example "stall_after=100&stall_ms=500".
    bool SetRule(const std::string& path, const std::string& rules) {
        return Control("GET", "/__control/rule?path=" + path + "&" + rules) == "ok\n";
    }
    // Requests received whose target starts with `prefix`, one a line:
    // "METHOD TARGET<TAB>Header: value<TAB>...".
    std::string Log(const std::string& prefix) {
        return Control("GET", "/__control/log?prefix=" + prefix);
    }

    // The response body, or "<failed>".
    std::string Control(const char* verb, const std::string& target,
                        const std::string& body = std::string()) const {
        std::string out = "<failed>";
        HINTERNET session =
            ::InternetOpenW(L"PelmoraTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        HINTERNET connection = session ? ::InternetConnectW(session, L"127.0.0.1",
                                                            static_cast<INTERNET_PORT>(port_),
                                                            nullptr, nullptr,
                                                            INTERNET_SERVICE_HTTP, 0, 0)
                                       : nullptr;
        const std::wstring wideVerb(verb, verb + strlen(verb));
        const std::wstring object(target.begin(), target.end());
        HINTERNET request =
            connection
                ? ::HttpOpenRequestW(connection, wideVerb.c_str(), object.c_str(), nullptr,
                                     nullptr, nullptr,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                : nullptr;
        if (request && ::HttpSendRequestW(request, nullptr, 0, const_cast<char*>(body.data()),
                                          static_cast<DWORD>(body.size()))) {
            out.clear();
            char buffer[8192];
            DWORD got = 0;
            while (::InternetReadFile(request, buffer, sizeof buffer, &got) && got > 0)
                out.append(buffer, got);
        }
        for (HINTERNET h : {request, connection, session})
            if (h) ::InternetCloseHandle(h);
        return out;
    }

private:
    int port_ = 0;
};

}  // namespace testsupport
