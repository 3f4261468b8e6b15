#include "download/transfer/internet_session_win.h"

#include <map>
#include <mutex>

namespace pelmora {
namespace {

// Where the system honours socket time-outs, an abandoned reader ends soon
// after the caller left it; the margin keeps them from racing the caller's own.
constexpr DWORD kSocketTimeoutMarginMs = 10000;

void SetSocketTimeouts(HINTERNET session, DWORD timeoutMs) {
    DWORD ms = timeoutMs > MAXDWORD - kSocketTimeoutMarginMs ? MAXDWORD
                                                             : timeoutMs + kSocketTimeoutMarginMs;
    for (const DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
          INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
          INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(session, option, &ms, sizeof ms);
}

}  // namespace

HINTERNET InternetSession(DWORD timeoutMs) {
    // Never closed: an abandoned transfer may use its session until it ends.
    static std::mutex lock;
    static auto* sessions = new std::map<DWORD, HINTERNET>;
    const std::lock_guard<std::mutex> guard(lock);
    if (const auto found = sessions->find(timeoutMs); found != sessions->end())
        return found->second;
    // The preconfigured access type follows the user's proxy settings.
    const HINTERNET session =
        ::InternetOpenW(L"Pelmora", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) return nullptr;
    SetSocketTimeouts(session, timeoutMs);
    sessions->emplace(timeoutMs, session);
    return session;
}

}  // namespace pelmora
