#include "app/main_window/row_launches_win.h"

#include "win/diagnostics_win.h"

#include <string>

namespace pelmora {

bool RowLaunches::Running(int id) {
    const auto found = processes_.find(id);
    if (found == processes_.end()) return false;
    if (::WaitForSingleObject(found->second.get(), 0) == WAIT_TIMEOUT) {
        win::Diag(L"[Pelmora]Program " + std::to_wstring(id) +
                  L"'s process still runs: the press starts nothing\n");
        return true;
    }
    processes_.erase(found);
    return false;
}

void RowLaunches::Started(int id, win::Handle process) {
    if (process) processes_[id] = std::move(process);
}

}  // namespace pelmora
