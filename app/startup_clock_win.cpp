#include "app/startup_clock_win.h"

#include "win/diagnostics_win.h"

#include <windows.h>

#include <cstdio>

namespace pelmora {
namespace {

double CounterMs() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The process's age is read once from the system clock (Windows 7 has no
// precise one) and carried on by the performance counter, so that the marks
// between phases keep sub-millisecond steps.
double MsSinceProcessCreated() {
    static const double counterAtCreation = [] {
        FILETIME created, exited, kernel, user, now;
        const double counter = CounterMs();
        if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
            return counter;
        ::GetSystemTimeAsFileTime(&now);
        const auto ticks = [](const FILETIME& t) {
            return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        return counter - static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
    }();
    return CounterMs() - counterAtCreation;
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
