// One process at a time per row: the installer (or tool) a row's button
// started, kept until it ends, so that presses meanwhile start nothing more.
// The window thread's own; it asks, never waits.
#pragma once
#include "win/handles_win.h"

#include <map>

namespace pelmora {

class RowLaunches {
  public:
    // True while the process last started for program `id` runs.
    bool Running(int id);
    // Keeps `process` (needs SYNCHRONIZE access) as program `id`'s.
    void Started(int id, win::Handle process);

  private:
    std::map<int, win::Handle> processes_;
};

}  // namespace pelmora
