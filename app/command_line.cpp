#include "app/command_line.h"

namespace pelmora {

std::u16string ArgumentsOf(std::u16string_view line) {
    size_t i = 0;
    if (i < line.size() && line[i] == u'"') {
        const size_t close = line.find(u'"', 1);
        i = close == std::u16string_view::npos ? line.size() : close + 1;
    }
    while (i < line.size() && line[i] != u' ' && line[i] != u'\t') ++i;
    if (i < line.size()) ++i;  // the separating blank
    return std::u16string(line.substr(i));
}

}  // namespace pelmora
