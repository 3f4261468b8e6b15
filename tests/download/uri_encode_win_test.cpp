#include "download/url/uri_encode_win.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace pelmora {
namespace {

// Restores the thread's locale, which selects CP_THREAD_ACP.
class ThreadLocaleScope {
public:
    explicit ThreadLocaleScope(LCID locale) : old_(::GetThreadLocale()) {
        ::SetThreadLocale(locale);
    }
    ~ThreadLocaleScope() { ::SetThreadLocale(old_); }

private:
    LCID old_;
};

TEST(EncodeWideUrl, ConvertsThroughTheThreadCodePage) {
    const ThreadLocaleScope western(MAKELCID(0x0409, SORT_DEFAULT));  // code page 1252
    EXPECT_EQ(EncodeWideUrl(L"http://h:8/tools/caf\u00e9 au lait.txt"),
              L"http://h:8/tools/caf%e9%20au%20lait.txt");
    EXPECT_EQ(EncodeWideUrl(L""), L"");
    // A letter 1252 lacks becomes its default character "?", which passes.
    EXPECT_EQ(EncodeWideUrl(L"http://h/\ud55c.txt"), L"http://h/?.txt");
}

TEST(EncodeWideUrl, KoreanThreadGivesTheKoreanCodePageBytes) {
    const ThreadLocaleScope korean(MAKELCID(0x0412, SORT_DEFAULT));  // code page 949
    EXPECT_EQ(EncodeWideUrl(L"http://h/\ud55c.txt"), L"http://h/%c7%d1.txt");
}

}  // namespace
}  // namespace pelmora
