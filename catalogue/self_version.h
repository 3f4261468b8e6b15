// The self-version file "Pelmora.txt": the version is the text between the
// first and the second lower-case "v" of its first line.
#pragma once
#include <string>
#include <string_view>

namespace pelmora {

// From one line of 8-bit text: empty without a "v", up to the line's end
// without a second one. Upper-case "V" is an ordinary character.
std::string SelfVersionFromLine(std::string_view line);

// From the file's bytes: its first line as text mode reads it, then the rule above.
std::string SelfVersionFromFile(std::string_view fileBytes);

}  // namespace pelmora
