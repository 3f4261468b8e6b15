// Any command line: the parse ends in a line or a problem, never both, and
// what it reads stays within its bounds; any bytes in a result line stay one
// line of valid UTF-8.
#include "app/unattended/switch_line.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string line(reinterpret_cast<const char16_t*>(data), size / 2);
    std::string problem;
    const auto parsed = pelmora::ParseSwitchLine(line, problem);
    if (parsed.has_value() == !problem.empty()) std::abort();
    if (parsed) {
        if (parsed->timeoutMinutes < 1 || parsed->timeoutMinutes > pelmora::kMaxTimeoutMinutes)
            std::abort();
        if (parsed->tools.size() > pelmora::kMaxNamedTools) std::abort();
        for (const auto& tool : parsed->tools)
            if (tool.empty()) std::abort();
    }
    pelmora::ToolReport report;
    report.name.assign(reinterpret_cast<const char*>(data), size);
    report.reason = report.name;
    const std::string out = pelmora::ResultLine(report);
    if (out.find('\n') != out.size() - 1) std::abort();
    return 0;
}
