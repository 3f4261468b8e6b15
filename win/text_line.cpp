#include "win/text_line.h"

namespace pelmora {

std::string FirstTextLine(std::string_view bytes) {
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n') break;
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') break;
        line.push_back(c);
    }
    return line;
}

}  // namespace pelmora
