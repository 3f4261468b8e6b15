#include "app/unattended/unattended_run_win.h"

#include "app/self_update/self_version_check_win.h"
#include "app/settings/interface_language_win.h"
#include "app/settings/machine_policy_win.h"
#include "app/unattended/switch_line.h"
#include "catalogue/model/catalogue_parser.h"
#include "catalogue/model/install_detection.h"
#include "catalogue/model/safe_name.h"
#include "catalogue/model/install_detection_win.h"
#include "download/worker/private_installer_copy_win.h"
#include "catalogue/workflow/program_table_win.h"
#include "download/sync/model_database_sync_win.h"
#include "download/sync/program_image_sync_win.h"
#include "download/sync/stale_files_win.h"
#include "download/sync/sync_defaults_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/transfer/download_to_file_win.h"
#include "download/url/base_url_win.h"
#include "download/worker/package_files.h"
#include "download/worker/package_worker_win.h"
#include "win/diagnostics_win.h"
#include "win/instance_marker_win.h"
#include "win/files_win.h"
#include "win/folder_check_win.h"
#include "win/handles_win.h"
#include "win/prompt_win.h"
#include "win/text_win.h"

#include <windows.h>

#include <vector>

namespace pelmora {
namespace {

constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED
constexpr wchar_t kPelmoraKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelmora";

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

// Runs `program` with `arguments`, invisibly, and waits up to `timeoutMs`.
// The exit code, or nullopt with `reason` set.
std::optional<DWORD> RunAndWait(const std::wstring& program, const std::wstring& arguments,
                                DWORD timeoutMs, std::string& reason) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    const std::wstring folder = program.substr(0, program.rfind(L'\\'));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &process)) {
        const DWORD error = ::GetLastError();
        reason = error == kElevationRequired
                     ? "the installer needs rights this run does not have"
                     : "the installer could not be started: " +
                           win::ToUtf8(win::SystemErrorText(error));
        return std::nullopt;
    }
    const win::Handle processHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    if (::WaitForSingleObject(processHandle.get(), timeoutMs) != WAIT_OBJECT_0) {
        // Stopping an installer half-way could leave the tool broken: it runs on.
        reason = "the installer did not end within " + std::to_string(timeoutMs / 60000) +
                 " minutes (left running)";
        return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(processHandle.get(), &code);
    return code;
}

struct Run {
    SwitchLine line;
    Console& console;
    std::vector<ToolReport> reports;
    std::vector<ToolOutcome> outcomes;

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
        if (!line.resultFile.empty()) {
            std::string bytes;
            for (const ToolReport& report : reports) bytes += ResultLine(report);
            // Whole or not at all: a script must never read half a result.
            if (!win::ReplaceFileWith(win::ToWide(line.resultFile), bytes))
                console.Say(L"The result file could not be written: " +
                            win::ToWide(line.resultFile) + L": " +
                            win::SystemErrorText(::GetLastError()));
        }
        console.Say(L"Exit code " + std::to_wstring(code));
        return code;
    }

    DWORD TimeoutMs() const { return static_cast<DWORD>(line.timeoutMinutes) * 60000u; }
};

std::optional<DWORD> RunFetchedInstaller(const Run& run, const std::wstring& url,
                                         const std::wstring& folderName,
                                         const std::wstring& downloadPath,
                                         const std::optional<Sha256Digest>& digest,
                                         std::string& reason);

// Fetches the installer at `url` as the package worker does (the catalogue's
// or the release's digest, bound to the release), copies it to a private
// folder, checks the copy and runs it silently. The installer's exit code,
// or nullopt with `reason`.
std::optional<DWORD> FetchAndRunInstaller(const Run& run, const std::wstring& url,
                                          const std::wstring& folderName,
                                          const std::wstring& downloadPath,
                                          std::optional<Sha256Digest> digest,
                                          std::string& reason) {
    DownloadOptions options;
    options.expectedDigest = digest;
    if (const HRESULT refused = ConstrainToRelease(url, options); refused != S_OK) {
        reason = "the signed release does not list " + win::ToUtf8(url);
        return std::nullopt;
    }
    const HRESULT fetched = ExplainReleaseFailure(
        url, DownloadToFile(url, downloadPath, 0, nullptr, kPackageTimeoutMs, false, options));
    if (fetched != S_OK) {
        reason = "download failed: " + win::ToUtf8(DownloadFailureText(fetched, kPackageTimeoutMs));
        win::Diag(L"[Pelmora]Download failed: " + url + L": " +
                  DownloadFailureText(fetched, kPackageTimeoutMs) + L"\n");
        return std::nullopt;
    }
    return RunFetchedInstaller(run, url, folderName, downloadPath, options.expectedDigest, reason);
}

// The fetched installer from a private copy, checked again, with its silent arguments.
std::optional<DWORD> RunFetchedInstaller(const Run& run, const std::wstring& url,
                                         const std::wstring& folderName,
                                         const std::wstring& downloadPath,
                                         const std::optional<Sha256Digest>& digest,
                                         std::string& reason) {
    if (!digest)
        win::Diag(L"[Pelmora]No digest known for " + url + L": the installer runs unchecked\n");
    const PrivateInstaller copy = CopyInstallerPrivately(downloadPath, folderName, digest);
    if (copy.path.empty()) {
        reason = "no checked private copy: " + win::ToUtf8(win::SystemErrorText(copy.error));
        return std::nullopt;
    }
    const std::wstring arguments = InstallerSilentArguments(url);
    win::Diag(L"[Pelmora]Running " + copy.path + L" " + arguments + L"\n");
    return RunAndWait(copy.path, arguments, run.TimeoutMs(), reason);
}

// A run as SYSTEM or an administrator writes below a folder every user can
// write: a link planted on the way (win::LinkOnPath) would carry the download
// elsewhere.
std::string PlantedLinkReason(const std::wstring& link) {
    return "a link was planted at " + win::ToUtf8(link) + "; nothing is written through it";
}

// Where the installed Pelmora is: the uninstall key's folder when it holds
// Pelmora.exe, this program otherwise.
std::wstring InstalledPelmora() {
    const std::wstring folder = FindInstallFolder(kPelmoraKey);
    if (!folder.empty() && win::FileExists(folder + L"Pelmora.exe")) return folder + L"Pelmora.exe";
    wchar_t own[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, own, MAX_PATH + 1);
    return n && n <= MAX_PATH ? std::wstring(own, n) : std::wstring();
}

enum class SelfStep { GoOn, Relaunched };

ToolReport SelfReport(const std::wstring& offered) {
    ToolReport report;
    report.name = "Pelmora";
    report.before = win::ToUtf8(InstalledVersion(kPelmoraKey));
    report.offered = win::ToUtf8(offered);
    return report;
}

// Applies Pelmora's own update silently. A running program cannot be
// overwritten on Windows but can be renamed: this one steps aside for the
// installer and comes back when the installer failed.
SelfStep ApplySelfUpdate(Run& run, const std::wstring& offered, win::Handle& instanceMarker,
                         int& exitCode) {
    ToolReport report = SelfReport(offered);
    const std::wstring installerFolder = SelfVersionFolder() + L"downloaded_program\\Pelmora";
    if (const std::wstring link = win::LinkOnPath(installerFolder); !link.empty()) {
        report.outcome = ToolOutcome::Failed;
        report.reason = PlantedLinkReason(link);
        run.Add(report);
        return SelfStep::GoOn;
    }
    SelfInstaller installer = FetchSelfInstaller();
    if (installer.result != S_OK) {
        report.outcome = ToolOutcome::Failed;
        report.reason = "Pelmora's installer could not be fetched: " +
                        win::ToUtf8(DownloadFailureText(installer.result));
        run.Add(report);
        return SelfStep::GoOn;
    }
    wchar_t own[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, own, MAX_PATH + 1);
    const std::wstring ownPath(own, n && n <= MAX_PATH ? n : 0);
    const std::wstring aside = ownPath + L"." + std::to_wstring(::GetCurrentProcessId()) + L".old";
    const bool stepped = !ownPath.empty() && InstalledPelmora() == ownPath &&
                         ::MoveFileExW(ownPath.c_str(), aside.c_str(), 0);
    std::string reason;
    const std::optional<DWORD> code =
        RunFetchedInstaller(run, BaseUrl() + L"Pelmora/setup.exe", L"Pelmora", installer.path,
                            installer.digest, reason);
    installer.held = win::File();
    const bool current = CheckInstalled(kPelmoraKey, offered) == Latest;
    if (stepped) {
        if (!win::FileExists(ownPath))
            ::MoveFileExW(aside.c_str(), ownPath.c_str(), 0);
        else  // gone at the next restart; the program image holds it until then
            ::MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    report.exitCode = code;
    report.after = win::ToUtf8(InstalledVersion(kPelmoraKey));
    if (!code || JudgeInstallerExit(*code) == InstallerVerdict::Failure || !current) {
        report.outcome = ToolOutcome::Failed;
        if (reason.empty())
            reason = code && JudgeInstallerExit(*code) == InstallerVerdict::Failure
                         ? "the installer failed"
                         : "after its installer, the uninstall key does not show the offered "
                           "version";
        report.reason = reason;
        run.Add(report);
        return SelfStep::GoOn;
    }
    // The new Pelmora goes on with the same line, told not to update itself again.
    const std::wstring next = InstalledPelmora();
    win::Diag(L"[Pelmora]Pelmora is now " + offered + L"; the run goes on with " + next + L"\n");
    instanceMarker.reset();
    std::wstring commandLine =
        L"\"" + next + L"\" " + win::ToWide(std::u16string(kAfterSelfUpdateSwitch));
    if (!run.line.resultFile.empty())
        commandLine += L" \"/result:" + win::ToWide(run.line.resultFile) + L"\"";
    commandLine += run.line.action == SwitchAction::Check ? L" /check" : L" /update";
    if (!run.line.tools.empty()) {
        commandLine += L":\"";
        for (size_t i = 0; i < run.line.tools.size(); ++i)
            commandLine += (i ? L"," : L"") + win::ToWide(run.line.tools[i]);
        commandLine += L"\"";
    }
    commandLine += L" /timeout:" + std::to_wstring(run.line.timeoutMinutes);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(next.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &startup, &process)) {
        report.outcome = ToolOutcome::Updated;
        report.reason = "the new Pelmora could not be started: " +
                        win::ToUtf8(win::SystemErrorText(::GetLastError())) + "; run again";
        run.Add(report);
        exitCode = kExitSelfUpdated;
        return SelfStep::Relaunched;
    }
    ::CloseHandle(process.hThread);
    const win::Handle child(process.hProcess);
    ::WaitForSingleObject(child.get(), INFINITE);
    DWORD code2 = kExitSelfUpdated;
    ::GetExitCodeProcess(child.get(), &code2);
    exitCode = static_cast<int>(code2);
    return SelfStep::Relaunched;
}

ToolReport ReportOf(const ProgramRecord& record) {
    ToolReport report;
    report.name = Utf8(record.nameEnglish);
    report.offered = Utf8(record.serverVersion);
    const std::u16string key = UninstallKeyName(record.id, record.nameEnglish);
    if (!key.empty()) report.before = win::ToUtf8(InstalledVersion(win::ToWide(key)));
    return report;
}

void UpdateTool(Run& run, const ProgramRecord& record, int region, ToolReport report) {
    const std::u16string key = UninstallKeyName(record.id, record.nameEnglish);
    if (!IsSafeFileName(record.nameEnglish) || key.empty()) {
        report.outcome = ToolOutcome::Failed;
        report.reason = "its name cannot be a file name";
        run.Add(report);
        return;
    }
    const std::wstring name = win::ToWide(record.nameEnglish);
    const std::wstring url =
        win::ToWide(PackageUrl(record.packageLocation[region], record.setupFile));
    const std::wstring folder =
        win::LocalRoot() + win::ToWide(ProgramDownloadFolder(record.nameEnglish));
    win::EnsureFolder(win::LocalRoot() + win::ToWide(kDownloadedProgramFolder));
    win::EnsureFolder(folder);
    if (const std::wstring link = win::LinkOnPath(folder); !link.empty()) {
        report.outcome = ToolOutcome::Failed;
        report.reason = PlantedLinkReason(link);
        run.Add(report);
        return;
    }
    const std::optional<Sha256Digest> digest =
        MakerKey() ? ReleaseDigest(url) : ExpectedInstallerDigest(record);
    std::string reason;
    const std::optional<DWORD> code = FetchAndRunInstaller(
        run, url, name, folder + L"\\" + win::ToWide(record.setupFile), digest, reason);
    report.exitCode = code;
    report.after = win::ToUtf8(InstalledVersion(win::ToWide(key)));
    const InstallerVerdict verdict = code ? JudgeInstallerExit(*code) : InstallerVerdict::Failure;
    if (!code || verdict == InstallerVerdict::Failure) {
        report.outcome = ToolOutcome::Failed;
        report.reason = code ? "the installer failed" : reason;
    } else if (CheckInstalled(win::ToWide(key), win::ToWide(record.serverVersion)) != Latest) {
        report.outcome = ToolOutcome::Failed;
        report.reason = "after its installer, the uninstall key does not show the offered version";
    } else {
        report.outcome = verdict == InstallerVerdict::SuccessRestart ? ToolOutcome::RestartNeeded
                                                                     : ToolOutcome::Updated;
    }
    run.Add(report);
}

int RunTools(Run& run, const Settings& settings) {
    LogPrompt prompt;
    CatalogueStartup startup;
    startup.server = DefaultServerFiles();
    startup.installCheck = CheckInstalled;
    startup.prompt = &prompt;
    ProgramTable table;
    if (!FetchCatalogue(startup.server)) {
        run.console.Say(L"The catalogue could not be fetched; nothing was changed");
        return run.End(kExitServer);
    }
    BuildProgramTable(startup, table);
    const bool update = run.line.action == SwitchAction::Update;
    if (update) {
        SyncModelDatabases(startup.server, prompt);
        SyncProgramImages(startup.server, table);
    }
    const int region =
        settings.region >= 0 && settings.region < kPackageRegionCount ? settings.region : HQ;
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
        } else if (run.line.tools.empty() ? installed : wanted) {
            UpdateTool(run, record, region, report);
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

// Pelmora's folders and its log there, for every way the run ends; false when
// the folder cannot be written (`error`).
bool KeepLog(DWORD& error) {
    for (const wchar_t* folder : {L"Korvath", L"Korvath\\tools", L"Korvath\\tools\\Pelmora"})
        win::EnsureFolder(win::LocalRoot() + folder);
    const std::wstring ownFolder = win::LocalRoot() + kPelmoraFolder;
    error = win::FolderWriteError(ownFolder);
    if (error == ERROR_SUCCESS) win::KeepLogIn(ownFolder);
    return error == ERROR_SUCCESS;
}

}  // namespace

int RunSwitchLine(const std::wstring& arguments) {
    Console console;
    DWORD folderError = ERROR_SUCCESS;
    const bool logKept = KeepLog(folderError);
    std::string problem;
    const std::optional<SwitchLine> line = ParseSwitchLine(win::ToU16(arguments), problem);
    if (!line) {
        console.Say(L"The command line is not understood: " + Wide(problem) + L"\n" +
                    Wide(SwitchLineUsage()));
        console.Say(L"Exit code 2");
        return kExitUsage;
    }
    Run run{*line, console, {}, {}};
    win::Diag(L"[Pelmora]Switch line: " + arguments + L"\n");

    // The same marker the window's instance holds.
    win::InstanceMarker marker = win::TakeInstanceMarker(L"Pelmora");
    if (marker.another) {
        console.Say(L"Another Pelmora is running; nothing was done");
        return run.End(kExitBusy);
    }

    Settings settings;
    ReadSettings(settings);
    if (!logKept) {
        console.Say(L"Pelmora's folder cannot be written: " + win::LocalRoot() + kPelmoraFolder +
                    L": " + win::SystemErrorText(folderError));
        return run.End(kExitFailed);
    }
    RemoveStaleDownloads(win::LocalRoot());
    RemovePrivateInstallerFolders();

    // No prompt for a proxy's credentials: a 407 ends the run with its reason.
    const HRESULT fetched = FetchSelfVersionFile(StartupDownloader(), nullptr);
    if (fetched != S_OK) {
        console.Say(L"The update server could not be reached or its release was refused: " +
                    DownloadFailureText(fetched, kSmallFileTimeoutMs));
        return run.End(IsLocalWriteFailure(fetched) ? kExitFailed : kExitServer);
    }
    const std::optional<std::wstring> offered = OfferedSelfVersion();
    const bool selfAllowed = TheMachinePolicy().selfUpdate;
    const bool selfBehind = offered && SelfUpdateAvailable(*offered);
    const bool update = line->action == SwitchAction::Update;
    if (selfBehind && selfAllowed && update && !line->afterSelfUpdate) {
        int code = 0;
        if (ApplySelfUpdate(run, *offered, marker.handle, code) == SelfStep::Relaunched) {
            if (code == kExitSelfUpdated) return run.End(code);
            console.Say(L"Exit code " + std::to_wstring(code) + L" (of the updated Pelmora)");
            return code;  // the new Pelmora wrote the result file
        }
    } else {
        ToolReport self = SelfReport(offered.value_or(L""));
        if (!selfBehind) {
            self.outcome = ToolOutcome::Current;
        } else if (!selfAllowed) {
            self.outcome = ToolOutcome::Current;
            self.reason = "the SelfUpdate policy is 0: Pelmora's own update is not applied";
        } else if (line->afterSelfUpdate) {
            // Never a second round: the installer did not leave the offered version.
            self.outcome = ToolOutcome::Failed;
            self.reason = "still not the offered version after its own update";
        } else {
            self.outcome = ToolOutcome::Available;
        }
        run.Add(self);
    }
    return RunTools(run, settings);
}

}  // namespace pelmora
