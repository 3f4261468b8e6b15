// Command lines for scripts: a line whose first non-blank character is "/"
// names switches; any other non-empty line is quiet mode, as before
// (catalogue names cannot hold "/", so no sibling tool's line is taken for
// switches). Free of Windows: what a line asks for, and the exit code a run
// ends with.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The exit codes of a switch line; docs/administrators.md lists
// them. Scripts rely on the numbers: never change one.
constexpr int kExitCurrent = 0;          // everything asked for is current
constexpr int kExitFailed = 1;           // at least one tool failed
constexpr int kExitUsage = 2;            // the switch line is not understood
constexpr int kExitBusy = 3;             // another Pelmora is running
constexpr int kExitServer = 4;           // no server, or its release was refused
constexpr int kExitSelfUpdated = 5;      // Pelmora updated itself and could not go on: run again
constexpr int kExitUpdatesAvailable = 10;  // /check: at least one update is offered
constexpr int kExitRestartNeeded = 3010;   // done; a restart is needed

constexpr int kDefaultTimeoutMinutes = 60;
constexpr int kMaxTimeoutMinutes = 24 * 60;
constexpr size_t kMaxNamedTools = 20;

// Given by Pelmora to the Pelmora it has just installed over itself, so that
// the new one does not update itself again. With a value
// (/afterselfupdate:CODE,VERSION) it also carries what the new one reports
// of that update: the installer's exit code and the version it replaced.
inline constexpr std::u16string_view kAfterSelfUpdateSwitch = u"/afterselfupdate";

enum class SwitchAction { Check, Update };

struct SwitchLine {
    SwitchAction action = SwitchAction::Check;
    std::vector<std::u16string> tools;  // /update:A,B; empty: every installed tool
    int timeoutMinutes = kDefaultTimeoutMinutes;
    std::u16string resultFile;          // empty: none
    bool afterSelfUpdate = false;
    std::optional<uint32_t> selfInstallerExit;  // /afterselfupdate's CODE, when given
    std::u16string selfBefore;                  // and its VERSION; empty: none was installed
};

// The switch that hands the updated Pelmora its update's report, its value
// quoted so that it stays one token.
std::u16string AfterSelfUpdateSwitch(uint32_t installerExit, std::u16string_view before);

// True when the first non-blank character of `arguments` is "/".
bool IsSwitchLine(std::u16string_view arguments);

// The switches, or nullopt with `problem` (ASCII) saying what is wrong.
// Blanks separate switches except inside double quotes, which are dropped:
// /result:"C:\My files\r.json" /update:"Model Viewer,Halvex". Switch names
// ignore case; tool names are compared by the caller.
std::optional<SwitchLine> ParseSwitchLine(std::u16string_view arguments, std::string& problem);

// The usage text, for the log and the console.
const char* SwitchLineUsage();

// One tool's outcome in a run.
enum class ToolOutcome {
    Current,        // installed at the offered version; nothing done
    Available,      // /check: an update or (named) an installation is offered
    NotInstalled,   // /check: not installed, not named
    Updated,        // installed or updated; the uninstall key shows the offered version
    RestartNeeded,  // as Updated, and the installer asked for a restart
    Failed,
};

const char* OutcomeName(ToolOutcome outcome);

// An installer's exit code as a run reads it.
// RestartStarted: the installer has begun a restart (1641), so the run installs
// nothing more and ends with kExitRestartNeeded.
enum class InstallerVerdict { Success, SuccessRestart, RestartStarted, Failure };
InstallerVerdict JudgeInstallerExit(uint32_t exitCode);

// The run's exit code from its tools' outcomes (the server was reached).
int RunExitCode(SwitchAction action, const std::vector<ToolOutcome>& outcomes);

struct ToolReport {
    std::string name;  // UTF-8
    std::string before, offered, after;  // versions; empty: none
    ToolOutcome outcome = ToolOutcome::Current;
    std::optional<uint32_t> exitCode;  // the installer's, when one ran
    std::string reason;                // empty when there is nothing to explain
};

// One line of the result file: a JSON object and LF. Text that is not UTF-8
// is replaced, never passed on raw.
std::string ResultLine(const ToolReport& report);

}  // namespace pelmora
