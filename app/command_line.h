// Quiet mode: the text after the program path is not empty.
#pragma once
#include <string>
#include <string_view>

namespace pelmora {

// The command line as the program hands it on: the full process command line
// without its first token (the program path, quoted or not) and the one blank
// that separates them. The rest is kept whole, never split or trimmed, so a
// command line of a single blank still selects quiet mode.
std::u16string ArgumentsOf(std::u16string_view fullCommandLine);

}  // namespace pelmora
