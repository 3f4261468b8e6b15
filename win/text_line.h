// The first line of a small text file. Windows-free.
#pragma once
#include <string>
#include <string_view>

namespace pelmora {

// The first line of a text file's bytes as the C runtime's text mode gives
// it: CR LF read as LF, the line ends before the first LF.
std::string FirstTextLine(std::string_view bytes);

}  // namespace pelmora
