#include "download/sync/program_image_files.h"

#include "app/settings/settings.h"

namespace pelmora {

std::u16string_view ImageFileForLanguage(int language) {
    switch (language) {
    case Korean: return u"kr.bmp";
    case Chinese: return u"cn.bmp";
    case Japanese: return u"jp.bmp";
    case Polish: return u"po.bmp";
    default: return u"en.bmp";
    }
}

}  // namespace pelmora
