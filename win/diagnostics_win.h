// Diagnostic lines: to the debugger output, and appended (UTF-8) to the file
// named by PELMORA_LOG when that variable is set, so tests can read the
// sequence and users can send it to support.
#pragma once
#include <string_view>

namespace win {

void Diag(std::wstring_view line);

}  // namespace win
