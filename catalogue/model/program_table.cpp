#include "catalogue/model/program_table.h"

namespace pelmora {

std::u16string SetupFileFor(InstallState state) {
    return std::u16string(state == UpdateAvailable ? kSetupLightFile : kSetupFile);
}

bool DropsFromList(const ProgramRecord& record) {
    return !record.listAlways && record.state == NotInstalled;
}

QuietDecision DecideQuietMode(std::u16string_view commandLine, const ProgramRecord& record) {
    if (commandLine.empty() || commandLine != record.nameEnglish) return QuietDecision::Continue;
    return record.state == UpdateAvailable ? QuietDecision::AskUpdate : QuietDecision::Close;
}

}  // namespace pelmora
