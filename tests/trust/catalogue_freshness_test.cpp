#include "trust/catalogue_freshness.h"
#include "catalogue/model/self_version.h"
#include "trust/signed_files.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

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

TEST(CatalogueFreshness, KeptSerialsAndDatesReadBackOrNotAtAll) {
    EXPECT_EQ(ParseSerial("5\r\n"), 5u);
    EXPECT_EQ(ParseSerial("123456789012345678"), 123456789012345678u);
    for (const char* bad : {"", "\r\n", "5 ", "x", "1234567890123456789", "-5", "5\n6"})
        EXPECT_FALSE(ParseSerial(bad)) << bad;
    EXPECT_EQ(ParseDate("2028-02-29"), 20280229);
    for (const char* bad : {"2027-02-29", "2027-13-01", "27-01-01", "2027-1-01", "", "2027-01-01 "})
        EXPECT_FALSE(ParseDate(bad)) << bad;
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

TEST(SelfVersion, TheMsisDigestIsAWordOfItsOwnBesideTheInstallers) {
    const std::string exe(64, 'b'), msi(64, 'c');
    const std::string line = "Pelmora v1.3.3v20261208 sha256:" + exe + " Pelmora.msi=sha256:" + msi;
    EXPECT_EQ(SelfMsiDigestFromFile(line), ParseSha256Hex(std::u16string(msi.begin(), msi.end())));
    EXPECT_EQ(SelfInstallerDigestFromFile(line),
              ParseSha256Hex(std::u16string(exe.begin(), exe.end())));
    EXPECT_FALSE(SelfMsiDigestFromFile("Pelmora v1.3.3v sha256:" + msi));  // the installer's
    EXPECT_FALSE(SelfInstallerDigestFromFile("Pelmora v1.3.3v Pelmora.msi=sha256:" + msi));
}

}  // namespace
}  // namespace pelmora
