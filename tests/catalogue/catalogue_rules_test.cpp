#include "catalogue/program_table.h"
#include "catalogue/safe_name.h"
#include "catalogue/self_version.h"
#include "catalogue/version_stamps.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(SelfVersion, TextBetweenFirstAndSecondLowerCaseV) {
    EXPECT_EQ(SelfVersionFromFile("Pelmora v1.3.2\r\nv9.9.9\r\n"), "1.3.2");
    EXPECT_EQ(SelfVersionFromFile("Pelmora v1.3.2v built 2026"), "1.3.2");
    EXPECT_EQ(SelfVersionFromFile("x v1.4 v"), "1.4 ");
    EXPECT_EQ(SelfVersionFromFile("Pelmora V1.3.2"), "");  // upper case is not a separator
    EXPECT_EQ(SelfVersionFromFile("vv1.0"), "");
    EXPECT_EQ(SelfVersionFromFile("\nv1.0"), "");  // only the first line counts
    EXPECT_EQ(SelfVersionFromFile(std::string("v1\0.0\r", 6)), std::string("1\0.0\r", 5));
    EXPECT_EQ(SelfVersionFromFile(""), "");
}

TEST(VersionStamps, DatabaseStampIsTheFirstLine) {
    EXPECT_EQ(DatabaseStamp("2026-12\r\nlater lines\n"), "2026-12");
    EXPECT_EQ(DatabaseStamp("\r\n2026-12\n"), "");
    EXPECT_EQ(DatabaseStamp("no line end"), "no line end");
}

TEST(VersionStamps, ImageStampsEndAtTheFirstEmptyLineOrTwenty) {
    EXPECT_EQ(ImageStamps("a\r\nb\n\r\nc\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ImageStamps("a\rb\nlast"), (std::vector<std::string>{"a\rb", "last"}));
    EXPECT_TRUE(ImageStamps("\nskipped").empty());
    std::string many;
    for (int i = 1; i <= 21; ++i) many += "stamp" + std::to_string(i) + "\n";
    const auto stamps = ImageStamps(many);
    ASSERT_EQ(stamps.size(), 20u);
    EXPECT_EQ(stamps.back(), "stamp20");
    EXPECT_EQ(StampAt(stamps, 19), "stamp20");
    EXPECT_EQ(StampAt(stamps, 20), "");
}

TEST(SafeName, OrdinaryNamesWork) {
    for (std::u16string_view name :
         {u"Halvex", u"Tool Seven", u"Ångström Viewer", u"한글 도구", u"v1.2 (beta)", u"a.b.c",
          u" leading blank", u"CONSOLE", u"COM10", u"NULL.txt", u"LPT", u"emoji \U0001F600"})
        EXPECT_TRUE(IsSafeFileName(name)) << std::string(name.begin(), name.end());
    EXPECT_TRUE(IsSafeFileName(std::u16string(kMaxSafeNameLength, u'n')));
}

TEST(SafeName, NamesThatCouldLeaveTheFolderOrNameADevice) {
    for (std::u16string_view name :
         {u"", u".", u"..", u"..\\..\\..\\Users\\Public\\Desktop", u"a/b", u"C:x", u"x::$DATA",
          u"a*b", u"a?b", u"a\"b", u"a<b", u"a>b", u"a|b", u"tab\there", u"lf\n", u"name.",
          u"name ", u"CON", u"con", u"Nul.txt", u"AUX .log", u"prn", u"COM1", u"lpt9.x",
          u"COM\u00B9", u"CONIN$", u"conout$", u"lone \xD800", u"lone \xDC00 low"})
        EXPECT_FALSE(IsSafeFileName(name)) << std::string(name.begin(), name.end());
    EXPECT_FALSE(IsSafeFileName(std::u16string(u"nul\0inside", 10)));
    EXPECT_FALSE(IsSafeFileName(std::u16string(kMaxSafeNameLength + 1, u'n')));
    EXPECT_EQ(PrintableName(u"a\x01\n"), u"a\\x01\\x0A");
}

ProgramRecord Record(std::u16string_view name, InstallState state, bool listAlways = false) {
    ProgramRecord record;
    record.nameEnglish = name;
    record.state = state;
    record.listAlways = listAlways;
    return record;
}

TEST(ProgramRules, QuietModeDecision) {
    const ProgramRecord update = Record(u"Halvex", UpdateAvailable);
    EXPECT_EQ(DecideQuietMode(u"", update), QuietDecision::Continue);
    EXPECT_EQ(DecideQuietMode(u"Halvex", update), QuietDecision::AskUpdate);
    EXPECT_EQ(DecideQuietMode(u"halvex", update), QuietDecision::Continue);
    EXPECT_EQ(DecideQuietMode(u"Halvex ", update), QuietDecision::Continue);
    for (InstallState state : {NotLookedUp, NotInstalled, Latest})
        EXPECT_EQ(DecideQuietMode(u"Halvex", Record(u"Halvex", state)), QuietDecision::Close);
}

TEST(ProgramRules, OnlyUnofferedUninstalledProgramsDrop) {
    EXPECT_TRUE(DropsFromList(Record(u"a", NotInstalled)));
    EXPECT_FALSE(DropsFromList(Record(u"a", NotInstalled, true)));
    for (InstallState state : {NotLookedUp, UpdateAvailable, Latest})
        EXPECT_FALSE(DropsFromList(Record(u"a", state)));
    EXPECT_NE(SetupFileFor(UpdateAvailable), SetupFileFor(Latest));
    EXPECT_EQ(SetupFileFor(NotInstalled), SetupFileFor(NotLookedUp));
}

}  // namespace
}  // namespace pelmora
