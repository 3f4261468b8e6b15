#include "catalogue/model/safe_name.h"
#include "catalogue/model/self_version.h"
#include "catalogue/model/version_stamps.h"
#include "download/url/url_host.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(SelfVersion, TextBetweenFirstAndSecondLowerCaseV) {
    EXPECT_EQ(SelfVersionFromFile("Pelmora v1.3.2\r\nv9.9.9\r\n"), "1.3.2");
    EXPECT_EQ(SelfVersionFromFile("x v1.4 v rest"), "1.4 ");
    EXPECT_EQ(SelfVersionFromFile("Pelmora V1.3.2"), "");  // upper case is no separator
    EXPECT_EQ(SelfVersionFromFile("\nv1.0"), "");          // only the first line counts
}

TEST(VersionStamps, LinesEndAtTheFirstEmptyOneOrAfterTwenty) {
    EXPECT_EQ(DatabaseStamp("2026-12\r\nnotes\n"), "2026-12");
    EXPECT_EQ(ImageStamps("a\r\nb\rc\n\r\nd\n"), (std::vector<std::string>{"a", "b\rc"}));
    std::string many;
    for (int i = 1; i <= 21; ++i) many += std::to_string(i) + "\n";
    EXPECT_EQ(ImageStamps(many).size(), 20u);
    EXPECT_EQ(ImageStamps(many).back(), "20");
}

TEST(VersionStamps, OnlyCompleteRowsTakeTheServersLine) {
    const std::vector<std::string> old = {"a1", "b1"};
    const std::vector<std::string> fresh = {"a2", "b2", "c1", "d1\r"};
    const std::string kept = ImageStampsToKeep(old, fresh, {true, false, false, true});
    EXPECT_EQ(kept, "a2\r\nb1\r\nc1 (incomplete)\r\nd1\r\r\n");
    EXPECT_EQ(ImageStamps(kept), (std::vector<std::string>{"a2", "b1", "c1 (incomplete)", "d1\r"}));
}

TEST(UrlHost, SchemeAndAuthorityInLowerCase) {
    EXPECT_EQ(UrlHost(u"http://Images.Example:8080/tools/a b/"), u"http://images.example:8080");
    EXPECT_EQ(UrlHost(u"HTTP://host\\path"), u"http://host");
    EXPECT_EQ(UrlHost(u"http://host?x"), u"http://host");
    EXPECT_EQ(UrlHost(u"http://host"), u"http://host");
    EXPECT_EQ(UrlHost(u"HTTPS://Host:8443/images/A"), u"https://host:8443");  // not http://host
    EXPECT_EQ(UrlHost(u"\n"), u"\n");  // a cleared record's location
}

TEST(SafeName, OrdinaryNamesWork) {
    for (std::u16string_view name :
         {u"Tool Seven", u"Ångström Viewer", u"한글 도구", u"v1.2 (beta)", u" leading blank",
          u"CONSOLE", u"COM10", u"NULL.txt", u"emoji \U0001F600"})
        EXPECT_TRUE(IsSafeFileName(name)) << std::string(name.begin(), name.end());
    EXPECT_TRUE(IsSafeFileName(std::u16string(kMaxSafeNameLength, u'n')));
}

TEST(SafeName, NamesThatCouldLeaveTheFolderOrNameADevice) {
    for (std::u16string_view name :
         {u"",       u".",         u"..",       u"..\\..\\..\\Users\\Public\\Desktop",
          u"a/b",    u"C:x",       u"x::$DATA", u"a*b",
          u"a?b",    u"a\"b",      u"a<b",      u"a>b",
          u"a|b",    u"tab\there", u"name.",    u"name ",
          u"con",    u"Nul.txt",   u"AUX .log", u"COM1",
          u"lpt9.x", u"COM\u00B9", u"CONIN$",   u"lone \xD800",
          u"\xDC00"})
        EXPECT_FALSE(IsSafeFileName(name)) << std::string(name.begin(), name.end());
    EXPECT_FALSE(IsSafeFileName(std::u16string(u"nul\0inside", 10)));
    EXPECT_FALSE(IsSafeFileName(std::u16string(kMaxSafeNameLength + 1, u'n')));
    EXPECT_TRUE(IsSafeFileName(std::u16string(10, u'n'), 10));  // a root's tighter limit
    EXPECT_FALSE(IsSafeFileName(std::u16string(11, u'n'), 10));
    EXPECT_EQ(PrintableName(u"a\x01\n"), u"a\\x01\\x0A");
}

// The name limit leaves room for the deepest path below the local root, and
// no more than that.
TEST(SafeName, LimitFitsTheDeepestPathBelowTheRoot) {
    for (const std::u16string root :
         {u"C:\\", u"C:\\users\\Public\\Documents\\",
          u"D:\\Shared Data\\Engineering Department\\Common Documents\\"}) {
        const std::u16string deepest = root + u"Korvath\\tools\\Pelmora\\downloaded_program\\" +
                                       std::u16string(NameLengthLimit(root.size()), u'n') +
                                       u"\\_999setup_light.exe.part-4294967295-4294967295";
        EXPECT_EQ(deepest.size(), kMaxPathLength) << deepest.size();
    }
    EXPECT_EQ(NameLengthLimit(kMaxPathLength), 0u);
}

}  // namespace
}  // namespace pelmora
