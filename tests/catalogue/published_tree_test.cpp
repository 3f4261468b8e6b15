// Pelmora's own readers on a tree written by the maker's publisher
// (tests/tools/publisher_test.py writes it into PELMORA_PUBLISHED_TREE).
#include "catalogue/model/catalogue_parser.h"
#include "catalogue/model/self_version.h"
#include "catalogue/model/version_stamps.h"
#include "trust/release_manifest.h"
#include "trust/sha256.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace pelmora {
namespace {

std::string TreeFile(const char* name) {
    const char* tree = std::getenv("PELMORA_PUBLISHED_TREE");
    if (!tree) return {};
    std::ifstream file(std::string(tree) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(PublishedTree, CatalogueReadsBackAsDescribed) {
    if (!std::getenv("PELMORA_PUBLISHED_TREE")) GTEST_SKIP() << "PELMORA_PUBLISHED_TREE unset";
    const std::string bytes = TreeFile("program_list.txt");
    const auto lines = CatalogueProgramLines(bytes);
    ASSERT_EQ(lines.size(), 3u);
    ProgramRecord records[3];
    for (size_t i = 0; i < 3; ++i) ParseProgramLine(lines[i], records[i]);

    EXPECT_EQ(records[0].nameEnglish, u"Halvex");
    EXPECT_EQ(records[1].nameEnglish, u"Legacy Bridge");
    EXPECT_FALSE(records[1].listAlways);
    const ProgramRecord& viewer = records[2];
    EXPECT_EQ(viewer.id, 3);
    EXPECT_EQ(viewer.nameKorean, u"도구3");
    EXPECT_EQ(viewer.nameEnglish, u"Model Viewer");
    EXPECT_EQ(viewer.nameChinese, u"工具3");
    EXPECT_EQ(viewer.nameJapanese, u"ツール3");
    EXPECT_EQ(viewer.serverVersion, u"1.0.0");
    EXPECT_TRUE(viewer.listAlways);
    EXPECT_EQ(viewer.imageLocation, u"http://updates.example/tools/images/Model Viewer");
    EXPECT_EQ(viewer.packageLocation[3],
              u"http://updates.example/tools/packages/chna/Model Viewer/1.0.0");
    // SHA-256 of "full Model Viewer" and "update Model Viewer".
    EXPECT_EQ(viewer.setupDigest,
              ParseSha256Hex(u"25d4a4a4a3548c65e540e415a46c253f8f097d4e0d1dce997562636c5b8ac16f"));
    EXPECT_EQ(viewer.setupLightDigest,
              ParseSha256Hex(u"36879bf1da0688f8efa198e265c605f7d1fee52e48d7752f34c3f5f4ee197592"));
}

TEST(PublishedTree, VersionAndStampsReadBack) {
    if (!std::getenv("PELMORA_PUBLISHED_TREE")) GTEST_SKIP() << "PELMORA_PUBLISHED_TREE unset";
    const std::string self = TreeFile("Pelmora.txt");
    EXPECT_EQ(SelfVersionFromFile(self), "1.3.2");
    // SHA-256 of "pelmora installer".
    EXPECT_EQ(SelfInstallerDigestFromFile(self),
              ParseSha256Hex(u"ce0dcf627850064f650f528b50193ab8bf66864dfc5f9a9ea292dea9785d9514"));
    std::string problem;
    const auto release = ReadReleaseManifest(TreeFile("release.txt"), problem);
    ASSERT_TRUE(release) << problem;
    EXPECT_EQ(release->serial, 12u);
    EXPECT_EQ(release->expires, 20270630);
    const auto index = ReleaseIndex::Make(*release, "http://updates.example/tools/", problem);
    ASSERT_TRUE(index) << problem;
    // Every file Pelmora fetches, under the URL it fetches it by, with its size.
    const auto listedSize = [&](const char* name, const std::string& url) {
        const ReleaseEntry* entry = index->Find(url);
        ASSERT_TRUE(entry) << url;
        EXPECT_EQ(entry->size, TreeFile(name).size()) << url;
    };
    const std::string base = "http://updates.example/tools/";
    for (const char* name : {"Pelmora.txt", "program_list.txt", "db_version.txt",
                             "image_version.txt", "modelinfo_chna.db", "Pelmora/setup.exe",
                             "images/Model Viewer/po.bmp",
                             "packages/eur/Halvex/1.0.0/setup_light.exe",
                             "packages/hq/Model Viewer/1.0.0/ReleaseNote.txt"})
        listedSize(name, base + name);
    EXPECT_EQ(index->size(), 9 + 3 * 5 + 3 * 4 * 2 + 3u);
    const std::string db = TreeFile("db_version.txt");
    EXPECT_FALSE(DatabaseStamp(db).empty());
    EXPECT_EQ(DatabaseStamp(db) + "\r\n", db);
    const auto stamps = ImageStamps(TreeFile("image_version.txt"));
    ASSERT_EQ(stamps.size(), 3u);  // one per catalogue line, offered or not
    EXPECT_EQ(stamps[0].rfind("Halvex-", 0), 0u);
    EXPECT_EQ(stamps[1].rfind("Legacy Bridge-", 0), 0u);
    EXPECT_EQ(stamps[2].rfind("Model Viewer-", 0), 0u);
}

}  // namespace
}  // namespace pelmora
