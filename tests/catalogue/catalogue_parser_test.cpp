#include "catalogue/model/catalogue_parser.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}

ProgramRecord Parse(std::u16string_view line) {
    ProgramRecord record;
    record.state = Latest;  // parsing starts from a cleared record
    ParseProgramLine(line, record);
    return record;
}

TEST(CatalogueLines, HeaderDroppedEmptyLinesVanishCrStays) {
    const auto lines =
        CatalogueProgramLines(Utf16Le(u"\uFEFFid,ko,en\r\n\n\n1,a,Halvex\r\n\r\n2,b,Quorin\n\n"));
    EXPECT_EQ(lines, (std::vector<std::u16string>{u"1,a,Halvex\r", u"\r", u"2,b,Quorin"}));
    EXPECT_TRUE(CatalogueProgramLines(Utf16Le(u"\n\nonly a header\n")).empty());
}

TEST(CatalogueLines, AtMostTwentyLinesOf999Units) {
    std::u16string text = u"header\n" + std::u16string(1500, u'x') + u"\n";
    for (int i = 2; i <= 25; ++i) text += std::u16string(i, u'#') + u"\n";
    const auto lines = CatalogueProgramLines(Utf16Le(text));
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[0], std::u16string(999, u'x'));  // the rest of a long line is dropped
    EXPECT_EQ(lines[19], std::u16string(20, u'#'));
}

TEST(CatalogueLines, MalformedFilesGiveWhatTheRulesGive) {
    // Only 80000 bytes (40000 units) count: the line crossing the limit is cut there.
    auto lines = CatalogueProgramLines(
        Utf16Le(u"h\n" + std::u16string(39990, u'a') + u"\nbbbbbbbbbbbb\nlost\n"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], std::u16string(7, u'b'));
    // An odd last byte is dropped; NULs and lone surrogates are ordinary units.
    lines = CatalogueProgramLines(Utf16Le(std::u16string(u"h\n1,\0,\xD800x\n", 9)) + "\n");
    EXPECT_EQ(lines, std::vector<std::u16string>{std::u16string(u"1,\0,\xD800x", 6)});
    // Saved as 8-bit text by mistake: no unit is an LF, so all of it is the header.
    EXPECT_TRUE(CatalogueProgramLines("header\r\n1,a,b,c\r\n2,d,e,f\r\n").empty());
    EXPECT_TRUE(CatalogueProgramLines(std::string(80000, '\n')).empty());
}

// The text fields in catalogue order, the offer flag as "T" or "F" in its place.
std::vector<std::u16string> Fields(std::u16string_view line) {
    const ProgramRecord r = Parse(line);
    EXPECT_EQ(r.state, NotLookedUp);
    const std::u16string flag = r.listAlways ? u"T" : u"F";
    const auto& p = r.packageLocation;
    return {r.nameKorean, r.nameEnglish,   r.nameChinese, r.nameJapanese, r.serverVersion,
            flag,         r.imageLocation, p[0],          p[1],           p[2],
            p[3]};
}

TEST(ProgramLine, FieldsInOrderEmptyFieldsShiftNothingTrimmed) {
    EXPECT_EQ(Parse(u",,7,한글,,Tool Seven").id, 7);
    EXPECT_EQ(Fields(u"7,한글,,Tool Seven,中文,日本語,1.0.2,TRUE, img ,hq,,amr,eur,chna\r"),
              (std::vector<std::u16string>{u"한글", u"Tool Seven", u"中文", u"日本語", u"1.0.2",
                                           u"T", u" img ", u"hq", u"amr", u"eur", u"chna\r"}));
    // The English name missing: every later field moves one place left.
    EXPECT_EQ(Fields(u"5,ko,,zh,ja,2.0,TRUE,http://img,hq,amr,eur,chna,extra"),
              (std::vector<std::u16string>{u"ko", u"zh", u"ja", u"2.0", u"TRUE", u"F", u"hq",
                                           u"amr", u"eur", u"chna", u"extra"}));
    // Fields the line does not supply keep the cleared LF.
    EXPECT_EQ(Fields(u"9,k,Three")[4], u"\n");
}

TEST(ProgramLine, OfferFlagAndIdAreReadLoosely) {
    for (const char16_t* flag : {u"TRUE", u"TRUEISH", u"TRUE\r"})
        EXPECT_TRUE(Parse(std::u16string(u"1,a,b,c,d,v,") + flag).listAlways);
    for (const char16_t* flag : {u"True", u"TRU", u" TRUE", u"FALSE"})
        EXPECT_FALSE(Parse(std::u16string(u"1,a,b,c,d,v,") + flag).listAlways);
    EXPECT_EQ(Parse(u" \t12abc").id, 12);
    EXPECT_EQ(Parse(u"-3").id, -3);
    EXPECT_EQ(Parse(u"abc").id, 0);
    EXPECT_EQ(Parse(u"99999999999999999999").id, INT32_MAX);
    EXPECT_EQ(Parse(u"-99999999999999999999").id, INT32_MIN);
}

TEST(ProgramLine, InstallerDigestsNameTheirFile) {
    const std::u16string a(64, u'a'), b(64, u'B');
    const std::u16string head = u"7,k,Tool,z,j,1.0,TRUE,img,hq,amr,eur,chna";
    // Either order, a CR at the line's end, unknown extra fields around them.
    ProgramRecord r = Parse(head + u",note,setup_light.exe=sha256:" + b + u",setup.exe=sha256:" +
                            a + u"\r");
    ASSERT_TRUE(r.setupDigest && r.setupLightDigest);
    EXPECT_EQ(r.setupDigest->front(), 0xaa);
    EXPECT_EQ(r.setupLightDigest->front(), 0xbb);
    r.setupFile = u"setup_light.exe";
    EXPECT_EQ(&ExpectedInstallerDigest(r), &r.setupLightDigest);
    r.setupFile = u"setup.exe";
    EXPECT_EQ(&ExpectedInstallerDigest(r), &r.setupDigest);

    // Only one digest given: the other installer has none, whatever its position.
    r = Parse(head + u",setup_light.exe=sha256:" + b);
    EXPECT_FALSE(r.setupDigest);
    EXPECT_TRUE(r.setupLightDigest);

    // Malformed fields are ignored, and so is a digest in the twelve catalogue fields.
    for (const std::u16string& bad :
         {u"setup.exe=sha256:" + a.substr(1), u"setup.exe=md5:" + a, u"Setup.exe=sha256:" + a,
          u"setup.exe sha256:" + a, u"setup.exe=sha256: " + a.substr(1), u"=sha256:" + a})
        EXPECT_FALSE(Parse(head + u"," + bad).setupDigest) << std::string(bad.begin(), bad.end());
    r = Parse(u"7,k,Tool,z,j,1.0,TRUE,img,hq,amr,setup.exe=sha256:" + a);
    EXPECT_FALSE(r.setupDigest);
    EXPECT_EQ(r.packageLocation[2], u"setup.exe=sha256:" + a);
    // Without digests a line reads exactly as before.
    EXPECT_EQ(Fields(head), Fields(head + u",anything,else"));
}

}  // namespace
}  // namespace pelmora
