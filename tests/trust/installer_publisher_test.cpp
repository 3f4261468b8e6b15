#include "trust/installer_publisher.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

const std::string kOne = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
const std::string kTwo = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(Publishers, AreThumbprintsSeparatedByCommas) {
    EXPECT_EQ(ParsePublishers(""), Publishers{});
    ASSERT_TRUE(ParsePublishers(kOne + "," + kTwo));
    EXPECT_EQ(ParsePublishers(kOne + "," + kTwo)->size(), 2u);
    EXPECT_EQ(Sha256Hex(ParsePublishers(kOne)->front()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    for (const std::string bad : {kOne + ",", "," + kOne, kOne.substr(2), kOne + ";" + kTwo,
                                  std::string("CN=Korvath"), kOne + ", " + kTwo})
        EXPECT_FALSE(ParsePublishers(bad)) << bad;
}

TEST(UnverifiedInstallers, RunOnlyByPolicyOverHttpsWithADigest) {
    struct Row {
        bool allowed;
        std::u16string url;
        bool digest;
        const char* refusal;  // a word of the reason; null: it may run
    } rows[] = {
        {false, u"https://example.com/setup.exe", true, "AllowUnverifiedInstallers"},
        {true, u"http://example.com/setup.exe", true, "https://"},
        {true, u"https:/example.com/setup.exe", true, "https://"},
        {true, u"https://example.com/setup.exe", false, "digest"},
        {true, u"HTTPS://example.com/setup.exe", true, nullptr},
    };
    for (const Row& row : rows) {
        const std::string refusal = UnverifiedInstallerRefusal(row.allowed, row.url, row.digest);
        if (row.refusal)
            EXPECT_NE(refusal.find(row.refusal), std::string::npos) << refusal;
        else
            EXPECT_EQ(refusal, "");
    }
}

}  // namespace
}  // namespace pelmora
