#include "download/sync/stale_files.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(StaleFiles, TemporariesNameTheirProcessRetriesTheirInstaller) {
    EXPECT_EQ(TemporaryFileOwner(u"setup.exe.part-1234-7"), 1234u);
    EXPECT_EQ(TemporaryFileOwner(u"a.part-1.part-88-1"), 88u);
    for (const char16_t* other : {u"setup.exe", u"setup.exe.partial", u"setup.exe.part-12",
                                  u"setup.exe.part--1", u"x.part-1-2x", u".part-1-2",
                                  u"x.part-1234567890-1"})
        EXPECT_FALSE(TemporaryFileOwner(other)) << std::u16string(other).size();

    EXPECT_TRUE(IsRetryInstallerName(u"_1setup.exe"));
    EXPECT_TRUE(IsRetryInstallerName(u"_12setup_light.exe"));
    for (const char16_t* other : {u"setup.exe", u"_setup.exe", u"_1setup.exe.partial",
                                  u"_1other.exe", u"1setup.exe", u"_1Setup.exe"})
        EXPECT_FALSE(IsRetryInstallerName(other));
}

// Korvath\tools\ is shared with sibling tools: only Pelmora's own files there count.
TEST(StaleFiles, InTheSharedToolsFolderOnlyPelmorasTemporariesCount) {
    for (const char16_t* own :
         {u"config.txt.part-12-1", u"db_version.txt.server.part-12-1", u"modelinfo_eur.db.part-3-9",
          u"Model ViewerReleaseNote.txt.part-40-2"})
        EXPECT_TRUE(IsPelmoraToolsTemporary(own)) << std::u16string(own).size();
    for (const char16_t* other :
         {u"setup.exe.part-12-1", u"data.db.part-3-9", u"ReleaseNote.txt.part-40-2",
          u"config.txt", u"config.txt.part-12", u"modelinfo_xx.db.part-3-9"})
        EXPECT_FALSE(IsPelmoraToolsTemporary(other)) << std::u16string(other).size();
}

}  // namespace
}  // namespace pelmora
