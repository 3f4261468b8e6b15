#include "app/unattended/unattended_run_win.h"

#include "app/self_update/self_step_aside_win.h"
#include "app/self_update/self_version_check_win.h"
#include "app/settings/interface_language_win.h"
#include "app/startup/startup_steps_win.h"
#include "app/unattended/switch_line.h"
#include "catalogue/model/catalogue_parser.h"
#include "catalogue/model/install_detection.h"
#include "catalogue/model/install_detection_win.h"
#include "catalogue/model/safe_name.h"
#include "download/release/fetch_as_released_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/worker/installer_pipeline_win.h"
#include "download/worker/package_files.h"
#include "trust/installer_digest_win.h"
#include "trust/installer_publisher.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/final_path_win.h"
#include "win/handles_win.h"
#include "win/instance_marker_win.h"
#include "win/process_win.h"
#include "win/prompt_win.h"
#include "win/text_win.h"

#include <windows.h>

#include <vector>

namespace pelmora {
namespace {

// Where the run's words go besides the log: the caller's redirected output,
// or the console of the command prompt that started this windowless program.
class Console {
  public:
    Console() {
        const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (out && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN) {
            out_ = out;
        } else if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
            console_.reset(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        }
    }

    void Say(const std::wstring& line) {
        win::Diag(L"[Pelmora]" + line + L"\n");
        const std::wstring text = line + L"\r\n";
        DWORD written = 0;
        if (console_) {
            ::WriteConsoleW(console_.get(), text.c_str(), static_cast<DWORD>(text.size()), &written,
                            nullptr);
        } else if (out_) {
            const std::string bytes = win::ToUtf8(text);
            ::WriteFile(out_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }

  private:
    HANDLE out_ = nullptr;  // borrowed
    win::File console_;
};

std::string Utf8(const std::u16string& text) { return win::ToUtf8(win::ToWide(text)); }
std::wstring Wide(const std::string& text) { return win::FromUtf8(text); }

bool SameName(const std::u16string& a, const std::u16string& b) {
    const std::wstring wa = win::ToWide(a), wb = win::ToWide(b);
    return ::CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                  static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

struct Run {
    Session& session;
    SwitchLine line;
    Console& console;
    std::vector<ToolReport> reports;
    std::vector<ToolOutcome> outcomes;
    bool restartStarted = false;  // an installer began a restart: nothing more is installed

    void Add(ToolReport report) {
        std::wstring words = Wide(report.name) + L": " + Wide(OutcomeName(report.outcome));
        if (!report.before.empty() || !report.offered.empty())
            words += L" (installed " + Wide(report.before.empty() ? "-" : report.before) +
                     L", offered " + Wide(report.offered.empty() ? "-" : report.offered) +
                     (report.after.empty() ? L"" : L", now " + Wide(report.after)) + L")";
        if (report.exitCode) words += L", installer exit code " + std::to_wstring(*report.exitCode);
        if (!report.reason.empty()) words += L": " + Wide(report.reason);
        console.Say(words);
        outcomes.push_back(report.outcome);
        reports.push_back(std::move(report));
    }

    int End(int code) {
        // With another Pelmora running, the file may be that run's: left as it is.
        if (!line.resultFile.empty() && code != kExitBusy) {
            std::string bytes;
            for (const ToolReport& report : reports) bytes += ResultLine(report);
            // Whole or not at all: a script must never read half a result. An
            // elevated run must not write it through a link a user planted.
            if (!win::ReplaceFileByHandle(win::ToWide(line.resultFile), bytes)) {
                const DWORD error = ::GetLastError();
                console.Say(L"The result file could not be written: " +
                            win::ToWide(line.resultFile) + L": " +
                            (error == win::kLinkRefusedError
                                 ? L"a link (junction, symbolic or hard link) is on the way"
                                 : win::SystemErrorText(error)));
                // A script would otherwise read the earlier run's file as this one's.
                code = kExitFailed;
            }
        }
        console.Say(L"Exit code " + std::to_wstring(code));
        return code;
    }

    DWORD TimeoutMs() const { return static_cast<DWORD>(line.timeoutMinutes) * 60000u; }
};

// An installer's exit and the registry after it, as one tool's outcome.
// True when the installer began a restart.
bool Judge(ToolReport& report, const InstallerExit& exit, bool offeredInstalled) {
    report.exitCode = exit.code;
    const InstallerVerdict verdict =
        exit.code ? JudgeInstallerExit(*exit.code) : InstallerVerdict::Failure;
    const bool restartStarted = verdict == InstallerVerdict::RestartStarted;
    if (!exit.code || verdict == InstallerVerdict::Failure) {
        report.outcome = ToolOutcome::Failed;
        report.reason = exit.code ? "the installer failed" : exit.reason;
    } else if (!offeredInstalled) {
        report.outcome = ToolOutcome::Failed;
        report.reason = "after its installer, the uninstall key does not show the offered version";
    } else {
        report.outcome = verdict == InstallerVerdict::Success ? ToolOutcome::Updated
                                                              : ToolOutcome::RestartNeeded;
        if (restartStarted) report.reason = "the installer started a restart";
    }
    return restartStarted;
}

std::wstring OwnPath() {
    wchar_t own[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, own, MAX_PATH + 1);
    return n && n <= MAX_PATH ? std::wstring(own, n) : std::wstring();
}

ToolReport SelfReport(const std::wstring& offered) {
    ToolReport report;
    report.name = "Pelmora";
    report.before = win::ToUtf8(InstalledSelfVersion());
    report.offered = win::ToUtf8(offered);
    return report;
}

// Nobody vouches for an installer in a build with neither the maker's key
// nor a publisher: a script's run, with nobody to look, starts one only as
// the machine's policy allows. Why not; empty when it may.
std::string Unvouched(const Session& session, const std::wstring& url,
                      const std::optional<Sha256Digest>& digest) {
    if (session.Release() || !session.InstallerSigners().empty()) return {};
    return UnverifiedInstallerRefusal(session.Policy().allowUnverifiedInstallers,
                                      win::ToU16(url), digest.has_value());
}

// The switch lines' side of the start-up: nobody to ask, and what happens
// goes to the log, the console and the result file.
class ScriptStartup final : public StartupFrontEnd {
  public:
    ScriptStartup(Run& run, win::Handle& instanceMarker) noexcept
        : run_(run), instanceMarker_(instanceMarker) {}

    Prompt& Prompts() override { return prompt_; }
    // No prompt for a proxy's credentials: a 407 ends the run with its reason.
    bool AskProxyCredentials(const std::wstring&) override { return false; }

    void SelfVersionNotFetched(HRESULT fetched) override {
        run_.console.Say(L"The update server could not be reached or its release was refused: " +
                         DownloadFailureText(fetched, kSmallFileTimeoutMs));
        exitCode_ = run_.End(IsLocalWriteFailure(fetched) ? kExitFailed : kExitServer);
    }

    StartupStep OnSelfVersion(SelfVersionState state, const std::wstring& offered) override {
        ToolReport self = SelfReport(offered);
        if (state == SelfVersionState::Current) {
            self.outcome = ToolOutcome::Current;
        } else if (state == SelfVersionState::HeldByPolicy) {
            self.outcome = ToolOutcome::Current;
            self.reason = "the SelfUpdate policy is 0: Pelmora's own update is not applied";
        } else if (run_.line.afterSelfUpdate) {
            // Never a second round: the installer did not leave the offered version.
            self.outcome = ToolOutcome::Failed;
            self.reason = "still not the offered version after its own update";
        } else if (run_.line.action == SwitchAction::Update) {
            return ApplySelfUpdate(offered);
        } else {
            self.outcome = ToolOutcome::Available;
        }
        if (run_.line.selfInstallerExit) {
            // The update the Pelmora before this one applied is this run's to report.
            self.before = win::ToUtf8(win::ToWide(run_.line.selfBefore));
            self.after = win::ToUtf8(InstalledSelfVersion());
            self.exitCode = run_.line.selfInstallerExit;
            if (state == SelfVersionState::Current)
                self.outcome = JudgeInstallerExit(*self.exitCode) == InstallerVerdict::Success
                                   ? ToolOutcome::Updated
                                   : ToolOutcome::RestartNeeded;
        }
        run_.Add(self);
        return StartupStep::Continue;
    }

    // Set when the run ended in the start-up: its exit code.
    std::optional<int> ExitCode() const noexcept { return exitCode_; }

  private:
    StartupStep ApplySelfUpdate(const std::wstring& offered);
    StartupStep GoOnWithUpdatedPelmora(ToolReport report, const std::wstring& offered);

    Run& run_;
    win::Handle& instanceMarker_;
    LogPrompt prompt_;
    std::optional<int> exitCode_;
};

// Applies Pelmora's own update silently. A running program cannot be
// overwritten on Windows but can be renamed: this one steps aside for the
// installer and comes back when the installer failed.
StartupStep ScriptStartup::ApplySelfUpdate(const std::wstring& offered) {
    ToolReport report = SelfReport(offered);
    const Session& session = run_.session;
    // The MSI owns the uninstall key and the folder: only the release's MSI
    // (a major upgrade) replaces it. Pelmora's NSIS installer over it would
    // take both and install to its default folder.
    const SelfInstall install = FindSelfInstall();
    if (install.msi && !SelfMsiOffered(session)) {
        report.outcome = ToolOutcome::Available;
        report.reason = "installed by its MSI, and the release offers no Pelmora.msi: "
                        "deploy the newer Pelmora.msi";
        run_.Add(report);
        return StartupStep::Continue;
    }
    const FetchedInstaller installer =
        install.msi ? FetchSelfMsi(session, offered) : FetchSelfInstaller(session, offered);
    if (installer.path.empty()) {
        report.outcome = ToolOutcome::Failed;
        report.reason = std::string(install.msi ? "Pelmora.msi" : "Pelmora's installer") +
                        " could not be fetched: " + installer.reason;
        run_.Add(report);
        return StartupStep::Continue;
    }
    report.reason = Unvouched(session, install.msi ? SelfMsiUrl(session) : SelfInstallerUrl(session),
                              installer.digest);
    if (!report.reason.empty()) {
        report.outcome = ToolOutcome::Failed;
        run_.Add(report);
        return StartupStep::Continue;
    }
    InstallerExit exit;
    {
        // Only the installed copy steps aside; a copy elsewhere is never renamed.
        const SelfStepAside aside(OwnPath(), InstalledPelmoraPath());
        if (install.msi)  // where the MSI was installed, not its default folder
            exit = RunMsiSilently(installer, L"Pelmora",
                                  install.folder.empty()
                                      ? std::wstring()
                                      : L"INSTALLDIR=\"" + install.folder + L"\"",
                                  run_.TimeoutMs(), session.InstallerSigners());
        else
            exit = RunInstallerSilently(
                installer, L"Pelmora",
                InstallerSilentArguments(session.Release().get(), SelfInstallerUrl(session)),
                run_.TimeoutMs(), session.InstallerSigners());
    }
    const bool current = !SelfUpdateAvailable(offered);
    report.after = win::ToUtf8(InstalledSelfVersion());
    if (Judge(report, exit, current)) {
        run_.Add(report);
        exitCode_ = run_.End(RunExitCode(run_.line.action, run_.outcomes));
        return StartupStep::Close;
    }
    if (report.outcome == ToolOutcome::Failed) {
        run_.Add(report);
        return StartupStep::Continue;
    }
    return GoOnWithUpdatedPelmora(std::move(report), offered);
}

// The new Pelmora goes on with the same line, told not to update itself again.
StartupStep ScriptStartup::GoOnWithUpdatedPelmora(ToolReport report, const std::wstring& offered) {
    const SwitchLine& line = run_.line;
    const std::wstring installed = InstalledPelmoraPath();
    const std::wstring next =
        !installed.empty() && win::FileExists(installed) ? installed : OwnPath();
    win::Diag(L"[Pelmora]Pelmora is now " + offered + L"; the run goes on with " + next + L"\n");
    instanceMarker_.reset();
    std::wstring arguments = win::ToWide(
        AfterSelfUpdateSwitch(report.exitCode.value_or(0), win::ToU16(Wide(report.before))));
    if (!line.resultFile.empty())
        arguments += L" \"/result:" + win::ToWide(line.resultFile) + L"\"";
    arguments += line.action == SwitchAction::Check ? L" /check" : L" /update";
    if (!line.tools.empty()) {
        arguments += L":\"";
        for (size_t i = 0; i < line.tools.size(); ++i)
            arguments += (i ? L"," : L"") + win::ToWide(line.tools[i]);
        arguments += L"\"";
    }
    arguments += L" /timeout:" + std::to_wstring(line.timeoutMinutes);
    win::Handle child;
    if (const DWORD error = win::StartProgram(
            win::ProgramStart{next, arguments, {}, win::StartHow::SameConsole, nullptr}, &child)) {
        report.outcome = ToolOutcome::Updated;
        report.reason = "the new Pelmora could not be started: " +
                        win::ToUtf8(win::SystemErrorText(error)) + "; run again";
        run_.Add(report);
        exitCode_ = run_.End(kExitSelfUpdated);
        return StartupStep::Close;
    }
    const int code =
        static_cast<int>(win::WaitForExit(child.get(), INFINITE).value_or(kExitSelfUpdated));
    if (code == kExitSelfUpdated) {
        exitCode_ = run_.End(code);
    } else {
        run_.console.Say(L"Exit code " + std::to_wstring(code) + L" (of the updated Pelmora)");
        exitCode_ = code;  // the new Pelmora wrote the result file
    }
    return StartupStep::Close;
}

ToolReport ReportOf(const ProgramRecord& record) {
    ToolReport report;
    report.name = Utf8(record.nameEnglish);
    report.offered = Utf8(record.serverVersion);
    const std::u16string key = UninstallKeyName(record.id, record.nameEnglish);
    if (!key.empty()) report.before = win::ToUtf8(InstalledVersion(win::ToWide(key)));
    return report;
}

// One tool through the installer pipeline, as Start and its row's Install
// button would take it, without a window.
void UpdateTool(Run& run, const ProgramTable& table, const ProgramRecord& record, int region,
                ToolReport report) {
    const std::u16string key = UninstallKeyName(record.id, record.nameEnglish);
    if (!IsSafeFileName(record.nameEnglish, table.nameLengthLimit) || key.empty()) {
        report.outcome = ToolOutcome::Failed;
        report.reason = "its name cannot be a file name";
        run.Add(report);
        return;
    }
    const Session& session = run.session;
    const std::wstring url =
        win::ToWide(PackageUrl(record.packageLocation[region], record.setupFile));
    const PackageJob job{0,
                         record.nameEnglish,
                         record.serverVersion,
                         record.packageLocation[region],
                         record.setupFile,
                         record.downloadMatches,
                         InstallerDigest(session.Release().get(), url,
                                         ExpectedInstallerDigest(record))};
    report.reason = Unvouched(session, url, job.expectedDigest);
    if (!report.reason.empty()) {  // refused before a byte is fetched
        report.outcome = ToolOutcome::Failed;
        run.Add(report);
        return;
    }
    const FetchedInstaller installer =
        FetchInstallerQuietly(session.WorkFolder(), session.Release(), job, session.PrivateRoot());
    if (installer.path.empty()) {
        report.outcome = ToolOutcome::Failed;
        report.reason = installer.reason;
        run.Add(report);
        return;
    }
    const std::wstring name = win::ToWide(record.nameEnglish);
    const InstallerExit exit = RunInstallerSilently(
        installer, name, InstallerSilentArguments(session.Release().get(), url), run.TimeoutMs(),
        session.InstallerSigners());
    if (!exit.code) {  // not started, or ended at /timeout: no verdict on what it left
        report.outcome = ToolOutcome::Failed;
        report.reason = exit.reason;
        run.Add(report);
        return;
    }
    report.after = win::ToUtf8(InstalledVersion(win::ToWide(key)));
    run.restartStarted =
        Judge(report, exit,
              DetectInstallState(record.id, name, win::ToWide(record.serverVersion)) == Latest);
    run.Add(report);
}

int RunTools(Run& run, StartupSteps& steps, const Settings& settings) {
    ProgramTable table;
    if (steps.Catalogue(table, {}) == StartupStep::Close) {
        run.console.Say(L"The catalogue could not be fetched; nothing was changed");
        return run.End(kExitServer);
    }
    const bool update = run.line.action == SwitchAction::Update;
    if (update) {
        steps.ModelDatabases();
        steps.Pictures(table);
    }
    const int region = RegionOrHq(settings.region);
    std::vector<bool> named(run.line.tools.size(), false);
    for (int row = 0; row < table.programCount; ++row) {
        const ProgramRecord& record = table.records[row];
        ToolReport report = ReportOf(record);
        bool wanted = false;
        for (size_t i = 0; i < run.line.tools.size(); ++i)
            if (SameName(run.line.tools[i], record.nameEnglish)) wanted = named[i] = true;
        const bool installed = record.state == UpdateAvailable || record.state == Latest;
        if (record.state == Latest) {
            report.outcome = ToolOutcome::Current;
        } else if (!update) {
            report.outcome = record.state == UpdateAvailable ? ToolOutcome::Available
                                                             : ToolOutcome::NotInstalled;
        } else if ((run.line.tools.empty() ? installed : wanted) && run.restartStarted) {
            report.outcome = ToolOutcome::Available;
            report.reason = "not installed: an earlier installer started a restart; run again";
        } else if (run.line.tools.empty() ? installed : wanted) {
            UpdateTool(run, table, record, region, report);
            continue;
        } else {
            report.outcome = installed ? ToolOutcome::Available : ToolOutcome::NotInstalled;
            if (installed) report.reason = "not named";
        }
        run.Add(report);
    }
    for (size_t i = 0; i < named.size(); ++i) {
        if (named[i]) continue;
        ToolReport report;
        report.name = Utf8(run.line.tools[i]);
        report.outcome = ToolOutcome::Failed;
        report.reason = "not in the catalogue";
        run.Add(report);
    }
    return run.End(RunExitCode(run.line.action, run.outcomes));
}

}  // namespace

int RunSwitchLine(Session& session, const std::wstring& arguments) {
    Console console;
    const DWORD folderError = StartupSteps::FoldersAndLog(session);
    std::string problem;
    const std::optional<SwitchLine> line = ParseSwitchLine(win::ToU16(arguments), problem);
    if (!line) {
        console.Say(L"The command line is not understood: " + Wide(problem) + L"\n" +
                    Wide(SwitchLineUsage()));
        console.Say(L"Exit code 2");
        return kExitUsage;
    }
    Run run{session, *line, console, {}, {}};
    win::Diag(L"[Pelmora]Switch line: " + arguments + L"\n");

    // The same marker the window's instance holds.
    win::InstanceMarker marker = win::TakeInstanceMarker(L"Pelmora");
    if (marker.another) {
        console.Say(L"Another Pelmora is running; nothing was done");
        return run.End(kExitBusy);
    }

    Settings settings;
    ReadSettings(settings, session.Policy().region);
    if (folderError != ERROR_SUCCESS) {
        const std::wstring folder = session.WorkFolderError() != ERROR_SUCCESS
                                        ? session.WorkFolder()
                                        : session.LocalRoot() + kPelmoraFolder;
        console.Say(L"Pelmora's folder cannot be written: " + folder + L": " +
                    win::SystemErrorText(folderError));
        return run.End(kExitFailed);
    }
    StartupSteps::SweepEarlierRuns(session);

    ScriptStartup frontEnd(run, marker.handle);
    StartupSteps steps(session, frontEnd);
    if (steps.SelfVersion() == StartupStep::Close) return frontEnd.ExitCode().value_or(kExitFailed);
    return RunTools(run, steps, settings);
}

}  // namespace pelmora
