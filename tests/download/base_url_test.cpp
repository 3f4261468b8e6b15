#include "download/url/base_url.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(BaseUrl, AcceptsHttpAndHttpsUrlsWhosePathEndsInTools) {
    EXPECT_TRUE(IsBaseUrl(u"http://127.0.0.1:8080/tools/"));
    EXPECT_TRUE(IsBaseUrl(u"HTTP://update.example.com/pelmora/tools/"));
    EXPECT_TRUE(IsBaseUrl(u"http://h/tools/"));
    EXPECT_TRUE(IsBaseUrl(u"https://localhost:8443/tools/"));
    EXPECT_TRUE(IsBaseUrl(u"HttpS://h/tools/"));
}

TEST(BaseUrl, RejectsEverythingElse) {
    EXPECT_FALSE(IsBaseUrl(u""));
    EXPECT_FALSE(IsBaseUrl(u"ftp://host/tools/"));
    EXPECT_FALSE(IsBaseUrl(u"httpss://host/tools/"));
    EXPECT_FALSE(IsBaseUrl(u"https:/host/tools/"));
    EXPECT_FALSE(IsBaseUrl(u"https:///tools/"));
    EXPECT_FALSE(IsBaseUrl(u"https://tools/"));
    EXPECT_FALSE(IsBaseUrl(u"http://host/tools"));
    EXPECT_FALSE(IsBaseUrl(u"http://host/toolsx/"));
    EXPECT_FALSE(IsBaseUrl(u"http:///tools/"));
    EXPECT_FALSE(IsBaseUrl(u"http://tools/"));
    EXPECT_FALSE(IsBaseUrl(u"http://host/my tools/"));
    EXPECT_FALSE(IsBaseUrl(u"http://host/x/tools/\n"));
    EXPECT_FALSE(IsBaseUrl(u"127.0.0.1/tools/"));
}

}  // namespace
}  // namespace pelmora
