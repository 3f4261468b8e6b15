#include "catalogue/catalogue_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmora {
namespace {

std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

ProgramRecord Parse(std::u16string_view line) {
    ProgramRecord record;
    record.state = Latest;  // parsing starts from a cleared record
    ParseProgramLine(line, record);
    return record;
}

TEST(CatalogueLines, HeaderDroppedEmptyLinesVanishCrStays) {
    const auto lines = CatalogueProgramLines(
        Utf16Le(u"\uFEFFid,ko,en\r\n\n\n1,a,Halvex\r\n\r\n2,b,Quorin\n\n"));
    ASSERT_EQ(lines.size(), 3u);  // "\r" alone is a line: only LF separates
    EXPECT_EQ(lines[0], u"1,a,Halvex\r");
    EXPECT_EQ(lines[1], u"\r");
    EXPECT_EQ(lines[2], u"2,b,Quorin");
    EXPECT_EQ(CatalogueProgramLines(Utf16Le(u"\n\nonly a header\n")).size(), 0u);
    EXPECT_EQ(CatalogueProgramLines(Utf16Le(u"\n\nheader\nfirst")).at(0), u"first");
}

TEST(CatalogueLines, AtMostTwentyLinesOf999Units) {
    std::u16string text = u"header\n" + std::u16string(1500, u'x') + u"\n";
    for (int i = 2; i <= 25; ++i) text += u"line" + std::u16string(i, u'#') + u"\n";
    const auto lines = CatalogueProgramLines(Utf16Le(text));
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[0], std::u16string(999, u'x'));  // the rest of a long line is dropped
    EXPECT_EQ(lines[19], u"line" + std::u16string(20, u'#'));
}

TEST(CatalogueLines, MalformedFilesGiveWhatTheRulesGive) {
    // Only 80000 bytes count: the line crossing the limit is cut there.
    std::u16string text = u"h\n" + std::u16string(39990, u'a') + u"\nbbbbbbbbbbbbbbbbbbbb\nlost\n";
    auto lines = CatalogueProgramLines(Utf16Le(text));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], std::u16string(7, u'b'));
    // An odd last byte is dropped; NULs and lone surrogates are ordinary units.
    lines = CatalogueProgramLines(Utf16Le(std::u16string(u"h\n1,\0,\xD800x\n", 9)) + "\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::u16string(u"1,\0,\xD800x", 6));
    // Saved as 8-bit text by mistake: no unit is an LF, so all is header.
    EXPECT_TRUE(CatalogueProgramLines("header\r\n1,a,b,c\r\n2,d,e,f\r\n").empty());
    EXPECT_TRUE(CatalogueProgramLines(std::string(80000, '\n')).empty());
    EXPECT_TRUE(CatalogueProgramLines("").empty());
}

TEST(ProgramLine, FieldsInOrderWithCrOnTheLast) {
    const ProgramRecord r = Parse(u"7,한글,Tool Seven,中文,日本語,1.0.2,TRUE,http://i/7,"
                                  u"http://hq/7,http://amr/7,http://eur/7,http://chna/7\r");
    EXPECT_EQ(r.id, 7);
    EXPECT_EQ(r.nameKorean, u"한글");
    EXPECT_EQ(r.nameEnglish, u"Tool Seven");
    EXPECT_EQ(r.nameChinese, u"中文");
    EXPECT_EQ(r.nameJapanese, u"日本語");
    EXPECT_EQ(r.serverVersion, u"1.0.2");
    EXPECT_TRUE(r.listAlways);
    EXPECT_EQ(r.imageLocation, u"http://i/7");
    EXPECT_EQ(r.packageLocation[0], u"http://hq/7");
    EXPECT_EQ(r.packageLocation[3], u"http://chna/7\r");
    EXPECT_EQ(r.state, NotLookedUp);
}

TEST(ProgramLine, EmptyFieldShiftsLaterFieldsLeft) {
    const ProgramRecord r = Parse(u",,5,ko,,zh,ja,2.0,TRUE,http://img,hq,,amr,eur,chna,extra,");
    EXPECT_EQ(r.id, 5);
    EXPECT_EQ(r.nameEnglish, u"zh");
    EXPECT_EQ(r.nameChinese, u"ja");
    EXPECT_EQ(r.nameJapanese, u"2.0");
    EXPECT_EQ(r.serverVersion, u"TRUE");
    EXPECT_FALSE(r.listAlways);  // read from the image location
    EXPECT_EQ(r.imageLocation, u"hq");
    EXPECT_EQ(r.packageLocation[3], u"extra");
}

TEST(ProgramLine, MissingFieldsKeepTheClearedLineFeed) {
    const ProgramRecord r = Parse(u"9,  a , b ");
    EXPECT_EQ(r.nameKorean, u"  a ");  // no trimming
    EXPECT_EQ(r.nameEnglish, u" b ");
    EXPECT_EQ(r.serverVersion, u"\n");
    EXPECT_EQ(r.packageLocation[3], u"\n");
    EXPECT_FALSE(r.listAlways);
}

TEST(ProgramLine, OfferFlagIsAFourLetterPrefix) {
    for (std::u16string_view flag : {u"TRUE", u"TRUEISH", u"TRUE\r"})
        EXPECT_TRUE(Parse(u"1,a,b,c,d,v," + std::u16string(flag)).listAlways);
    for (std::u16string_view flag : {u"True", u"TRU", u" TRUE", u"true", u"FALSE"})
        EXPECT_FALSE(Parse(u"1,a,b,c,d,v," + std::u16string(flag)).listAlways);
}

TEST(ProgramLine, IdIsReadLikeWtoi) {
    EXPECT_EQ(Parse(u" \t12abc").id, 12);
    EXPECT_EQ(Parse(u"-3").id, -3);
    EXPECT_EQ(Parse(u"+4").id, 4);
    EXPECT_EQ(Parse(u"abc").id, 0);
    EXPECT_EQ(Parse(u"- 5").id, 0);
    EXPECT_EQ(Parse(u"99999999999999999999").id, INT32_MAX);
    EXPECT_EQ(Parse(u"-99999999999999999999").id, INT32_MIN);
}

}  // namespace
}  // namespace pelmora
