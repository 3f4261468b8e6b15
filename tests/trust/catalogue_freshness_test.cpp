#include "trust/catalogue_freshness.h"
#include "catalogue/self_version.h"
#include "trust/signed_files.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

// The catalogue's bytes as the publisher writes them: UTF-16LE with a BOM.
std::string Catalogue(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

constexpr std::u16string_view kHeader = u"id,Korean,English,Chinese,Japanese,Version,List";

TEST(CatalogueFreshness, HeaderFieldsAreReadFromTheFirstLineOnly) {
    CatalogueFreshness f = ReadCatalogueFreshness(
        Catalogue(std::u16string(kHeader) + u",serial=42,expires=2027-02-28\r\n1,a,b,serial=1\n"));
    EXPECT_EQ(f.serial, 42u);
    EXPECT_EQ(f.expires, 20270228);
    EXPECT_EQ(f.problem, "");

    f = ReadCatalogueFreshness(Catalogue(std::u16string(kHeader) + u"\n2,x,serial=9\n"));
    EXPECT_EQ(f.serial, 0u) << "no serial in the header: none";
    EXPECT_FALSE(f.expires);
    EXPECT_EQ(ReadCatalogueFreshness("").serial, 0u);
    EXPECT_EQ(ReadCatalogueFreshness(Catalogue(u"serial=7")).serial, 7u) << "no line end";
    // Unknown fields and other letters are passed over.
    f = ReadCatalogueFreshness(Catalogue(u"id,\u00e9=1,Serial=3,serial=8,signer=x\n"));
    EXPECT_EQ(f.serial, 8u);
    EXPECT_EQ(f.problem, "");
}

TEST(CatalogueFreshness, FieldsThatDoNotReadAreAProblem) {
    for (const std::u16string_view bad :
         {u"serial=", u"serial=12a", u"serial=-1", u"serial=1234567890123456789",
          u"expires=2027-02-29", u"expires=2027-13-01", u"expires=27-01-01",
          u"expires=2027-1-01", u"expires=", u"serial=\u0661"}) {
        const CatalogueFreshness f = ReadCatalogueFreshness(Catalogue(std::u16string(bad) + u"\n"));
        EXPECT_NE(f.problem, "") << std::string(bad.begin(), bad.end());
        EXPECT_EQ(JudgeFreshness(f, 0, 20261208), FreshnessVerdict::Unreadable);
    }
    EXPECT_EQ(ReadCatalogueFreshness(Catalogue(u"expires=2028-02-29\n")).expires, 20280229);
}

TEST(CatalogueFreshness, OlderSerialsAndPastDatesAreRefused) {
    CatalogueFreshness f;
    f.serial = 5;
    f.expires = 20261208;
    EXPECT_EQ(JudgeFreshness(f, 0, 20261208), FreshnessVerdict::Fresh) << "its last day is good";
    EXPECT_EQ(JudgeFreshness(f, 5, 20261208), FreshnessVerdict::Fresh) << "the same serial again";
    EXPECT_EQ(JudgeFreshness(f, 6, 20261208), FreshnessVerdict::Replayed);
    EXPECT_EQ(JudgeFreshness(f, 5, 20261209), FreshnessVerdict::Expired);
    EXPECT_EQ(JudgeFreshness(f, 5, 20270101), FreshnessVerdict::Expired);
    f.expires.reset();
    EXPECT_EQ(JudgeFreshness(f, 5, 99991231), FreshnessVerdict::Fresh) << "no date: no expiry";
    f.serial = 0;
    EXPECT_EQ(JudgeFreshness(f, 1, 20261208), FreshnessVerdict::Replayed)
        << "a catalogue without a serial cannot follow one with a serial";
}

TEST(CatalogueFreshness, KeptSerialReadsBackOrNotAtAll) {
    EXPECT_EQ(ParseSerial("5\r\n"), 5u);
    EXPECT_EQ(ParseSerial("123456789012345678"), 123456789012345678u);
    for (const char* bad : {"", "\r\n", "5 ", "x", "1234567890123456789", "-5", "5\n6"})
        EXPECT_FALSE(ParseSerial(bad)) << bad;
}

TEST(SignedFiles, KeysAndSignedNames) {
    const std::string hex(128, 'a');
    const auto key = ParseMakerPublicKey("  " + hex + "\r\n");
    ASSERT_TRUE(key);
    EXPECT_EQ((*key)[0], 0xAA);
    EXPECT_EQ((*key)[63], 0xAA);
    EXPECT_FALSE(ParseMakerPublicKey(""));
    EXPECT_FALSE(ParseMakerPublicKey(hex.substr(1)));
    EXPECT_FALSE(ParseMakerPublicKey(hex + "a"));
    EXPECT_FALSE(ParseMakerPublicKey(hex.substr(2) + "0g"));

    const std::u16string_view base = u"https://h/tools/";
    for (const char16_t* name : {u"program_list.txt", u"Pelmora.txt", u"db_version.txt",
                                 u"image_version.txt"})
        EXPECT_TRUE(IsSignedServerFile(std::u16string(base) + name, base));
    for (const char16_t* url :
         {u"https://h/tools/modelinfo_hq.db", u"https://h/tools/program_list.txt.sig",
          u"https://h/tools/Pelmora/setup.exe", u"https://other/tools/Pelmora.txt",
          u"https://h/tools/", u"https://h/tools/PROGRAM_LIST.TXT"})
        EXPECT_FALSE(IsSignedServerFile(url, base));
}

TEST(SelfVersion, InstallerDigestFollowsTheSecondV) {
    const std::string hex(64, 'b');
    const Sha256Digest expected = *ParseSha256Hex(std::u16string(hex.begin(), hex.end()));
    EXPECT_EQ(SelfInstallerDigestFromFile("Pelmora v1.3.3v20261208 sha256:" + hex + "\r\n"),
              expected);
    EXPECT_EQ(SelfInstallerDigestFromFile("Pelmora v1.3.3vnote\tsha256:" + hex), expected);
    for (const std::string& line :
         {"Pelmora v1.3.3 sha256:" + hex,                    // no second v: part of the version
          "Pelmora v1.3.3v sha256:" + hex.substr(1),         // too short
          "Pelmora v1.3.3v xsha256:" + hex,                  // not a word of its own
          "Pelmora v1.3.3v sha256:" + hex + "0",             // too long
          "Pelmora v1.3.3v\r\nsha256:" + hex,                // not on the first line
          std::string("Pelmora v1.3.3v20150130\r\n")})
        EXPECT_FALSE(SelfInstallerDigestFromFile(line)) << line;
}

}  // namespace
}  // namespace pelmora
