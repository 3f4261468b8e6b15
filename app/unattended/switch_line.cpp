#include "app/unattended/switch_line.h"

namespace pelmora {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// Blank-separated tokens; double quotes group blanks and are dropped. An
// unclosed quote is an error: a path cut in half must not become a switch.
bool Tokens(std::u16string_view line, std::vector<std::u16string>& out) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size()) break;
        std::u16string token;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            if (line[i] == u'"')
                quoted = !quoted;
            else
                token += line[i];
        }
        if (quoted) return false;
        out.push_back(std::move(token));
    }
    return true;
}

std::u16string Trimmed(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return std::u16string(text);
}

// Decimal digits only, at most `maxDigits` (at most 19) of them.
std::optional<uint64_t> Decimal(std::u16string_view digits, size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    uint64_t value = 0;
    for (const char16_t c : digits) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return value;
}

std::optional<int> Minutes(std::u16string_view digits) {
    const std::optional<uint64_t> value = Decimal(digits, 4);
    if (!value || *value < 1 || *value > kMaxTimeoutMinutes) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<uint32_t> ExitCode(std::u16string_view digits) {
    const std::optional<uint64_t> value = Decimal(digits, 10);
    if (!value || *value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

std::string Ascii(std::u16string_view text) {
    std::string out;
    for (const char16_t c : text.substr(0, 40)) out += c >= 0x20 && c < 0x7F ? char(c) : '?';
    return out;
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `i`; U+FFFD for a broken one (one byte used).
uint32_t NextCodePoint(std::string_view s, size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    const int extra = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2
                    : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
    if (extra == 0 || s.size() - i <= static_cast<size_t>(extra)) {
        ++i;
        return 0xFFFD;
    }
    uint32_t c = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += extra + 1;
    return c;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (size_t i = 0; i < text.size();) {
        const uint32_t c = NextCodePoint(text, i);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else if (c == 0x2028 || c == 0x2029) {  // line ends to some JSON readers
            out += c == 0x2028 ? "\\u2028" : "\\u2029";
        } else {
            AppendUtf8(out, c);
        }
    }
    out += '"';
}

void AppendField(std::string& out, const char* name, std::string_view value) {
    out += ",\"";
    out += name;
    out += "\":";
    if (value.empty())
        out += "null";
    else
        AppendJsonString(out, value);
}

}  // namespace

bool IsSwitchLine(std::u16string_view arguments) {
    for (const char16_t c : arguments)
        if (!IsBlank(c)) return c == u'/';
    return false;
}

std::optional<SwitchLine> ParseSwitchLine(std::u16string_view arguments, std::string& problem) {
    problem.clear();
    std::vector<std::u16string> tokens;
    if (!Tokens(arguments, tokens)) {
        problem = "a double quote is not closed";
        return std::nullopt;
    }
    SwitchLine line;
    bool haveAction = false, haveTimeout = false, haveResult = false;
    for (const std::u16string& token : tokens) {
        const size_t colon = token.find(u':');
        const std::u16string_view name = std::u16string_view(token).substr(0, colon);
        const std::u16string_view value = colon == std::u16string::npos
                                              ? std::u16string_view()
                                              : std::u16string_view(token).substr(colon + 1);
        const bool hasValue = colon != std::u16string::npos;
        if (EqualsNoCase(name, u"/check") || EqualsNoCase(name, u"/update")) {
            if (haveAction) {
                problem = "more than one of /check and /update";
                return std::nullopt;
            }
            haveAction = true;
            line.action =
                EqualsNoCase(name, u"/check") ? SwitchAction::Check : SwitchAction::Update;
            if (!hasValue) continue;
            if (line.action == SwitchAction::Check) {
                problem = "/check takes no value";
                return std::nullopt;
            }
            size_t start = 0;
            for (;;) {
                const size_t comma = value.find(u',', start);
                const std::u16string tool = Trimmed(value.substr(start, comma - start));
                if (tool.empty()) {
                    problem = "/update: a tool name is empty";
                    return std::nullopt;
                }
                bool seen = false;
                for (const std::u16string& t : line.tools) seen = seen || EqualsNoCase(t, tool);
                if (!seen) line.tools.push_back(tool);
                if (line.tools.size() > kMaxNamedTools) {
                    problem = "/update: more than 20 tools named";
                    return std::nullopt;
                }
                if (comma == std::u16string_view::npos) break;
                start = comma + 1;
            }
        } else if (EqualsNoCase(name, u"/timeout")) {
            const std::optional<int> minutes = hasValue ? Minutes(value) : std::nullopt;
            if (haveTimeout || !minutes) {
                problem = haveTimeout ? "/timeout given twice"
                                      : "/timeout:MINUTES needs a whole number from 1 to 1440";
                return std::nullopt;
            }
            haveTimeout = true;
            line.timeoutMinutes = *minutes;
        } else if (EqualsNoCase(name, u"/result")) {
            if (haveResult || value.empty()) {
                problem = haveResult ? "/result given twice" : "/result:FILE needs a file name";
                return std::nullopt;
            }
            haveResult = true;
            line.resultFile = std::u16string(value);
        } else if (EqualsNoCase(name, kAfterSelfUpdateSwitch)) {
            line.afterSelfUpdate = true;
            if (!hasValue) continue;
            const size_t comma = value.find(u',');
            const std::optional<uint32_t> code = ExitCode(value.substr(0, comma));
            if (!code || comma == std::u16string_view::npos) {
                problem = "/afterselfupdate:CODE,VERSION needs an exit code and a comma";
                return std::nullopt;
            }
            line.selfInstallerExit = code;
            line.selfBefore = std::u16string(value.substr(comma + 1));
        } else {
            problem = "unknown switch \"" + Ascii(token) + "\"";
            return std::nullopt;
        }
    }
    if (!haveAction) {
        problem = "neither /check nor /update";
        return std::nullopt;
    }
    return line;
}

std::u16string AfterSelfUpdateSwitch(uint32_t installerExit, std::u16string_view before) {
    // The value in quotes, not the switch: a line must begin with "/".
    std::u16string out(kAfterSelfUpdateSwitch);
    out += u":\"";
    for (const char c : std::to_string(installerExit)) out += static_cast<char16_t>(c);
    out += u',';
    for (const char16_t c : before)
        if (c != u'"') out += c;  // a quote would end the token
    out += u'"';
    return out;
}

const char* SwitchLineUsage() {
    return "Usage: Pelmora.exe /check | /update[:TOOL,TOOL...] [/timeout:MINUTES] [/result:FILE]\n"
           "  /check            report installed and offered versions; change nothing\n"
           "  /update           update every installed tool that has an update\n"
           "  /update:A,B       update (or install) the tools named\n"
           "  /timeout:MINUTES  how long one installer may run (1 to 1440, default 60)\n"
           "  /result:FILE      write one JSON object per tool to FILE\n"
           "Exit codes: 0 current, 3010 done and a restart is needed, 1 a tool failed,\n"
           "  2 switch line not understood, 3 another Pelmora runs, 4 server not reached or\n"
           "  release refused, 5 Pelmora updated itself (run again), 10 /check: updates offered\n";
}

const char* OutcomeName(ToolOutcome outcome) {
    switch (outcome) {
    case ToolOutcome::Current: return "current";
    case ToolOutcome::Available: return "available";
    case ToolOutcome::NotInstalled: return "not-installed";
    case ToolOutcome::Updated: return "updated";
    case ToolOutcome::RestartNeeded: return "restart-needed";
    case ToolOutcome::Failed: return "failed";
    }
    return "failed";
}

InstallerVerdict JudgeInstallerExit(uint32_t exitCode) {
    if (exitCode == 0) return InstallerVerdict::Success;
    // ERROR_SUCCESS_REBOOT_REQUIRED and ERROR_SUCCESS_REBOOT_INITIATED.
    if (exitCode == 3010) return InstallerVerdict::SuccessRestart;
    if (exitCode == 1641) return InstallerVerdict::RestartStarted;
    return InstallerVerdict::Failure;
}

int RunExitCode(SwitchAction action, const std::vector<ToolOutcome>& outcomes) {
    bool failed = false, restart = false, available = false;
    for (const ToolOutcome o : outcomes) {
        failed = failed || o == ToolOutcome::Failed;
        restart = restart || o == ToolOutcome::RestartNeeded;
        available = available || o == ToolOutcome::Available;
    }
    if (failed) return kExitFailed;
    if (action == SwitchAction::Check) return available ? kExitUpdatesAvailable : kExitCurrent;
    return restart ? kExitRestartNeeded : kExitCurrent;
}

std::string ResultLine(const ToolReport& report) {
    std::string out = "{\"name\":";
    AppendJsonString(out, report.name);
    AppendField(out, "before", report.before);
    AppendField(out, "offered", report.offered);
    AppendField(out, "after", report.after);
    out += ",\"outcome\":\"";
    out += OutcomeName(report.outcome);
    out += "\",\"exit_code\":";
    out += report.exitCode ? std::to_string(*report.exitCode) : "null";
    AppendField(out, "reason", report.reason);
    out += "}\n";
    return out;
}

}  // namespace pelmora
