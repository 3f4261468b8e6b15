#include "ui/config_choice.h"
#include "ui/skin_layout.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(ButtonFrame, DisabledWinsThenPressedThenHover) {
    for (bool pressed : {false, true})
        for (bool hover : {false, true}) EXPECT_EQ(ChooseButtonFrame(true, pressed, hover), FrameDisabled);
    EXPECT_EQ(ChooseButtonFrame(false, true, true), FramePressed);
    EXPECT_EQ(ChooseButtonFrame(false, false, true), FrameHover);
    EXPECT_EQ(ChooseButtonFrame(false, false, false), FrameNormal);
}

TEST(ConfigChoice, NoLanguageKeepsRomanianOnlyAndNoServerIsHq) {
    EXPECT_EQ(LanguageToSave(-1, Romanian), Romanian);
    EXPECT_EQ(LanguageToSave(-1, Korean), English);
    EXPECT_EQ(LanguageToSave(French, Romanian), French);
    EXPECT_EQ(LanguageToSave(kLanguageCount, German), English);
    EXPECT_EQ(RegionToSave(-1), HQ);
    EXPECT_EQ(RegionToSave(CHNA), CHNA);
    EXPECT_EQ(RegionToSave(kRegionCount), HQ);
}

}  // namespace
}  // namespace pelmora
