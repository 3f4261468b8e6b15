// Rules that turn parsed catalogue lines into list rows.
#pragma once
#include "catalogue/model/program_record.h"

#include <string>
#include <string_view>

namespace pelmora {

// "setup_light.exe" for an update, "setup.exe" otherwise.
std::u16string SetupFileFor(InstallState state);

// A program that is not installed is listed only when the catalogue offers it.
bool DropsFromList(const ProgramRecord& record);

// What start-up does after a kept record, given the whole command line.
enum class QuietDecision {
    Continue,   // no quiet-mode match: go on with the next line
    AskUpdate,  // ask message 2029; Yes goes on, No closes
    Close,      // close the main window at once
};
QuietDecision DecideQuietMode(std::u16string_view commandLine, const ProgramRecord& record);

}  // namespace pelmora
