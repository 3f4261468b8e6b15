#include "download/url/uri_encode.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmora {
namespace {

std::string Encode(std::string_view url) { return UriEncode().EncodeUrl(url); }

TEST(UriEncode, EmptyAndPrintableUrlsPassUnchanged) {
    EXPECT_EQ(Encode(""), "");
    EXPECT_EQ(Encode("http://127.0.0.1:8080/tools/program_list.txt"),
              "http://127.0.0.1:8080/tools/program_list.txt");
    // The whole printable range passes, "%" and the reserved characters included.
    std::string printable;
    for (int b = 0x21; b <= 0x7A; ++b) printable += static_cast<char>(b);
    EXPECT_EQ(Encode(printable), printable);
}

TEST(UriEncode, EscapesEveryByteOutsideThePrintableRangeInLowerCaseHex) {
    EXPECT_EQ(Encode("a b"), "a%20b");
    EXPECT_EQ(Encode("{|}~\x7f"), "%7b%7c%7d%7e%7f");
    EXPECT_EQ(Encode("caf\xe9"), "caf%e9");
    EXPECT_EQ(Encode(std::string("\x00\x0a\x1f", 3)), "%00%0a%1f");
    EXPECT_EQ(Encode("\xff\x80"), "%ff%80");
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const bool passes = b >= 0x21 && b <= 0x7A;
        EXPECT_EQ(Encode(one).size(), passes ? 1u : 3u) << "byte " << b;
    }
}

TEST(UriEncode, NeverTouchesPercentAndNeverWritesPlus) {
    EXPECT_EQ(Encode("a%20b"), "a%20b");
    EXPECT_EQ(Encode("100%zz%"), "100%zz%");
    EXPECT_EQ(Encode("a b c").find('+'), std::string::npos);
}

TEST(UriEncode, EncodeByteGivesPercentAndTwoDigits) {
    EXPECT_EQ(UriEncode::EncodeByte(' '), "%20");
    EXPECT_EQ(UriEncode::EncodeByte('~'), "%7e");
    EXPECT_EQ(UriEncode::EncodeByte('\x0a'), "%0a");
    EXPECT_EQ(UriEncode::EncodeByte('\xe9'), "%e9");
    EXPECT_EQ(UriEncode::EncodeByte('\0'), "%00");
}

}  // namespace
}  // namespace pelmora
