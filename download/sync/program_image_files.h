// The five language versions of each program's picture.
#pragma once
#include <array>
#include <string_view>

namespace pelmora {

// In the order they are fetched.
inline constexpr std::array<std::u16string_view, 5> kProgramImageFiles = {
    u"kr.bmp", u"en.bmp", u"cn.bmp", u"jp.bmp", u"po.bmp"};

// The picture shown for an interface language (0..10): Korean, Chinese,
// Japanese and Polish have their own, every other language the English one.
std::u16string_view ImageFileForLanguage(int language);

}  // namespace pelmora
