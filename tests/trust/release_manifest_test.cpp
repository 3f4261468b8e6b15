#include "trust/release_manifest.h"
#include "catalogue/model/self_version.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

const std::string kHex(64, 'a');
const std::string kHead = "pelmora-release 1\nserial 12\nexpires 2027-06-30\n";

std::optional<ReleaseManifest> Read(const std::string& bytes, std::string* why = nullptr) {
    std::string problem;
    auto manifest = ReadReleaseManifest(bytes, problem);
    EXPECT_EQ(manifest.has_value(), problem.empty()) << problem;
    if (why) *why = problem;
    return manifest;
}

TEST(ReleaseManifest, ReadsHeadAndEntriesWithBlanksInTheirUrls) {
    const auto m = Read(kHead + "27 " + kHex + " Pelmora.txt\n0 " + std::string(64, 'F') +
                        " images/Model Viewer/kr.bmp\n5 " + kHex +
                        " https://cdn.example.com/x/setup.exe\n");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->serial, 12u);
    EXPECT_EQ(m->expires, 20270630);
    ASSERT_EQ(m->entries.size(), 3u);
    EXPECT_EQ(m->entries[0].size, 27u);
    EXPECT_EQ(m->entries[0].digest[0], 0xAA);
    EXPECT_EQ(m->entries[1].url, "images/Model Viewer/kr.bmp");
    EXPECT_EQ(m->entries[1].digest[31], 0xFF);
    EXPECT_TRUE(Read(kHead)) << "a release of no files reads";

    EXPECT_EQ(JudgeRelease(*m, 12, 20270630), FreshnessVerdict::Fresh);
    EXPECT_EQ(JudgeRelease(*m, 13, 20270101), FreshnessVerdict::Replayed);
    EXPECT_EQ(JudgeRelease(*m, 0, 20270701), FreshnessVerdict::Expired);
}

TEST(ReleaseManifest, SilentArgumentsAndLinesOfLaterReleases) {
    const auto m = Read(kHead + "args /quiet%20/norestart%25 Halvex/setup.exe\n" +
                        "mirror https://elsewhere.example.com/ 3\n" + "2 " + kHex +
                        " Halvex/setup.exe\n" + "3 " + kHex + " Quorin/setup.exe\n" +
                        "args /S nowhere.exe\nnotes-url\n");
    ASSERT_TRUE(m);
    ASSERT_EQ(m->entries.size(), 2u);
    EXPECT_EQ(m->entries[0].silentArguments, "/quiet /norestart%");
    EXPECT_FALSE(m->entries[1].silentArguments);
}

TEST(ReleaseManifest, AnythingElseIsRefusedWithItsLine) {
    const std::string entry = "1 " + kHex + " a.txt\n";
    struct Case {
        std::string bytes, problem;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"", "no serial"},
             {"pelmora-release 2\nserial 1\nexpires 2027-01-01\n", "line 1"},
             {"pelmora-release 1\r\nserial 1\nexpires 2027-01-01\n", "line 1"},
             {"pelmora-release 1\nserial x\nexpires 2027-01-01\n", "line 2"},
             {"pelmora-release 1\nserial 1\r\nexpires 2027-01-01\n", "line 2"},
             {"pelmora-release 1\nserial 1\nexpires 2027-02-30\n", "line 3"},
             {"pelmora-release 1\nserial 1\n", "no serial or no expires"},
             {kHead + entry.substr(0, entry.size() - 1), "no line end"},
             {kHead + "1 " + kHex + "\n", "line 4: no SHA-256"},
             {kHead + "x " + kHex + " a\n", "line 4: size"},
             {kHead + "1 " + kHex.substr(1) + "g a\n", "line 4: no SHA-256"},
             {kHead + "1  " + kHex + " a\n", "line 4: no SHA-256"},
             {kHead + entry + "1 " + kHex + " a.txt\r\n", "line 5: control character"},
             {kHead + "1 " + kHex + " /tools/a\n", "line 4: URL neither"},
             {kHead + "1 " + kHex + " ftp://h/a\n", "line 4: URL neither"},
             {kHead + "1 " + kHex + " a \n", "line 4: URL ends in a blank"},
             {kHead + "\n", "line 4"},
             {kHead + "args /S\n", "line 4: not \"args"},
             {kHead + "args\n", "line 4: not \"args"},
             {kHead + "args %2 a.txt\n", "line 4: a % in arguments"},
             {kHead + "args /D=%0a a.txt\n", "line 4: control character in arguments"},
             {kHead + "args /S /tools/a\n", "line 4: URL neither"},
             {kHead + "immutable by-digest\n", "line 4: not \"immutable"},
             {kHead + "immutable https://cdn/x/\n", "line 4: not \"immutable"},
             {kHead + "immutable by digest/\n", "line 4: not \"immutable"},
             {kHead + "immutable a/\nimmutable b/\n", "line 5: a second"},
         }) {
        std::string why;
        EXPECT_FALSE(Read(c.bytes, &why)) << c.bytes;
        EXPECT_NE(why.find(c.problem), std::string::npos) << why;
    }
}

TEST(ReleaseManifest, EntriesAreFoundByTheUrlPelmoraFetches) {
    const auto m = Read(kHead + "1 " + kHex + " images/Model%20Viewer/kr.bmp\n2 " + kHex +
                        " Pelmora.txt\n3 " + kHex + " HTTP://Cdn.Example.com:80/a%7Eb/setup.exe\n");
    ASSERT_TRUE(m);
    std::string problem;
    const auto index = ReleaseIndex::Make(*m, "http://127.0.0.1:8080/tools/", problem);
    ASSERT_TRUE(index) << problem;
    const auto size = [&](const char* url) {
        const ReleaseEntry* e = index->Find(url);
        return e ? static_cast<int>(e->size) : 0;
    };
    EXPECT_EQ(size("http://127.0.0.1:8080/tools/images/Model Viewer/kr.bmp"), 1);
    EXPECT_EQ(size("HTTP://127.0.0.1:8080/tools/images/Model%20Viewer/kr.bmp"), 1);
    EXPECT_EQ(size("http://127.0.0.1:8080/tools/Pelmora.txt"), 2);
    EXPECT_EQ(size("http://cdn.example.com/a~b/setup.exe"), 3);
    EXPECT_EQ(size("http://cdn.example.com/a%7eb/setup.exe"), 3);
    // The path keeps its case, and another host, port or folder is another file.
    EXPECT_EQ(size("http://127.0.0.1:8080/tools/pelmora.txt"), 0);
    EXPECT_EQ(size("http://127.0.0.1:8081/tools/Pelmora.txt"), 0);
    EXPECT_EQ(size("http://127.0.0.1:8080/Pelmora.txt"), 0);
    EXPECT_EQ(size("https://127.0.0.1:8080/tools/Pelmora.txt"), 0);
    EXPECT_EQ(size("http://127.0.0.1:8080/tools/Pelmora.txt.sig"), 0);

    const auto twice = Read(kHead + "1 " + kHex + " a b\n2 " + kHex + " a%20b\n");
    ASSERT_TRUE(twice);
    EXPECT_FALSE(ReleaseIndex::Make(*twice, "http://h/tools/", problem));
    EXPECT_NE(problem.find("two entries name http://h/tools/a%20b"), std::string::npos);
    EXPECT_EQ(CanonicalUrl("https://H:443"), "https://h/");
}

// Every relative file also lies at the immutable folder and its digest; a
// file on another host has no such copy.
TEST(ReleaseManifest, ImmutableNamesFollowTheDigest) {
    const auto m = Read(kHead + "1 " + kHex + " images/Model%20Viewer/kr.bmp\n" +
                        "immutable by-digest/\n2 " + std::string(64, 'B') +
                        " https://cdn.example.com/setup.exe\n");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->entries[0].immutableUrl, "by-digest/" + kHex);
    EXPECT_EQ(m->entries[1].immutableUrl, "");
    std::string problem;
    const auto index = ReleaseIndex::Make(*m, "http://h/tools/", problem);
    ASSERT_TRUE(index) << problem;
    EXPECT_EQ(index->Find("http://h/tools/images/Model Viewer/kr.bmp")->immutableUrl,
              "http://h/tools/by-digest/" + kHex);
    EXPECT_EQ(Read(kHead + "1 " + kHex + " a\n")->entries[0].immutableUrl, "") << "older releases";
}

// release.signed: the manifest's own bytes, then the signature line over them.
TEST(ReleaseManifest, TheSignedFileSplitsIntoManifestAndSignature) {
    const std::string manifest = kHead + "1 " + kHex + " a.txt\n";
    const std::string line = "signature " + std::string(126, '0') + "0f\n";
    std::string_view body;
    std::string signature, problem;
    const std::string whole = manifest + line;
    ASSERT_TRUE(SplitSignedRelease(whole, body, signature, problem)) << problem;
    EXPECT_EQ(body, manifest);
    ASSERT_EQ(signature.size(), 64u);
    EXPECT_EQ(signature[63], '\x0f');
    for (const std::string& bad : {manifest, manifest + line.substr(0, line.size() - 1),
                                   manifest + "signature " + std::string(126, '0') + "\n",
                                   manifest + "signature " + std::string(127, '0') + "g\n", line,
                                   manifest + line + "\n"}) {
        EXPECT_FALSE(SplitSignedRelease(bad, body, signature, problem)) << bad;
        EXPECT_NE(problem.find("not \"signature"), std::string::npos);
    }
}

TEST(SelfVersion, OnlyAReadableVersionIsCompared) {
    EXPECT_TRUE(IsReadableVersion("1.3.2"));
    EXPECT_TRUE(IsReadableVersion("2.0-beta"));
    for (const char* bad : {"", "1.3.2 build", "build", "1.3\t", "\x01"
                                                                  "1"})
        EXPECT_FALSE(IsReadableVersion(bad)) << bad;
    EXPECT_FALSE(IsReadableVersion(SelfVersionFromFile("Pelmora 1.3.2 build\r\n")));
}

}  // namespace
}  // namespace pelmora
