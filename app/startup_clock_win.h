// Diagnostic marks of the start-up's phases, in milliseconds since the
// process was created; the start-up benchmark reads them from the log.
#pragma once
#include <string>

namespace pelmora {

class StartupClock {
public:
    StartupClock() noexcept;
    // "[Pelmora]Start-up: <phase> at <ms> ms (+<since last mark> ms)", and
    // ", <count> programs" when count is not negative.
    void Mark(const std::wstring& phase, int count = -1);

private:
    double last_;
};

}  // namespace pelmora
