#include "download/stale_files.h"

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

}  // namespace
}  // namespace pelmora
