#include "app/startup_clock_win.h"

#include "win/diagnostics_win.h"

#include <windows.h>

#include <cstdio>

namespace pelmora {
namespace {

double MsSinceProcessCreated() {
    FILETIME created, exited, kernel, user, now;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    ::GetSystemTimePreciseAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

}  // namespace

// The first mark's share is the process's own start: loading, the
// application object, the window's creation.
StartupClock::StartupClock() noexcept : last_(0) { Mark(L"window created"); }

void StartupClock::Mark(const std::wstring& phase, int count) {
    const double now = MsSinceProcessCreated();
    wchar_t figures[96];
    std::swprintf(figures, 96, L" at %.1f ms (+%.1f ms)", now, now - last_);
    last_ = now;
    std::wstring line = L"[Pelmora]Start-up: " + phase + figures;
    if (count >= 0) line += L", " + std::to_wstring(count) + L" programs";
    win::Diag(line + L"\n");
}

}  // namespace pelmora
