#include "app/command_line.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(CommandLine, TextAfterTheProgramPathIsKeptWhole) {
    EXPECT_EQ(ArgumentsOf(u"Pelmora.exe"), u"");
    EXPECT_EQ(ArgumentsOf(u"\"C:\\Program Files\\Pelmora\\Pelmora.exe\""), u"");
    EXPECT_EQ(ArgumentsOf(u"Pelmora.exe Halvex"), u"Halvex");
    EXPECT_EQ(ArgumentsOf(u"\"C:\\Program Files\\Pelmora.exe\" Halvex"), u"Halvex");
    EXPECT_EQ(ArgumentsOf(u"Pelmora.exe My Tool  x"), u"My Tool  x");  // never split
    EXPECT_EQ(ArgumentsOf(u"Pelmora.exe \"My Tool\""), u"\"My Tool\"");
    EXPECT_EQ(ArgumentsOf(u"Pelmora.exe\tHalvex"), u"Halvex");
    EXPECT_EQ(ArgumentsOf(u""), u"");
    EXPECT_EQ(ArgumentsOf(u"\"unterminated quote"), u"");
}

TEST(CommandLine, OneBlankAfterTheSeparatorSelectsQuietMode) {
    EXPECT_EQ(ArgumentsOf(u"Pelmora.exe  "), u" ");
    EXPECT_EQ(ArgumentsOf(u"Pelmora.exe "), u"");  // only the separator
}

}  // namespace
}  // namespace pelmora
