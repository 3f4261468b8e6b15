// Every text drawn into a fixed rectangle fits it, in all eleven languages,
// measured with the fonts the windows draw with. Run in the test prefix,
// where Tahoma is linked to a CJK font as on a Korean, Chinese or Japanese
// Windows.
#include "app/settings/settings.h"
#include "string_ids.h"
#include "ui/skin_layout.h"
#include "ui/skin_win.h"
#include "win/string_resources_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pelmora {
namespace {

struct Slot {
    UINT id;  // 0: `fixed` is the text
    const wchar_t* fixed;
    SkinFont font;
    int width, height;
    const char* where;
};

// 96-dpi units to pixels: 100 % changes nothing, edges round to the nearest
// pixel, and a scale between the bitmap sets takes the next larger one.
static_assert(ScaleToDpi(700, 96) == 700 && ScaleToDpi(700, 120) == 875);
static_assert(ScaleToDpi(541, 144) == 812 && ScaleToDpi(-14, 144) == -21);
static_assert(ScaleBox(kMainSubtitleBox, 192).Width() == 2 * kMainSubtitleBox.Width());
static_assert(ScaledBitmapId(151, 96) == 151 && ScaledBitmapId(151, 120) == 1151);
static_assert(ScaledBitmapId(151, 110) == 1151 && ScaledBitmapId(151, 144) == 2151);
static_assert(ScaledBitmapId(151, 168) == 3151 && ScaledBitmapId(151, 288) == 4151);

constexpr int kCaption = 2 * kCaptionMargin;
constexpr int kCell = 2 * kListCellPadding;

const Slot kSlots[] = {
    {IDS_START_INSTALL, nullptr, SkinFont::Button, kStartButton.Width() - kCaption, kStartButton.Height(), "Start button"},
    {IDS_CANCEL, nullptr, SkinFont::Button, kConfigCancelButton.Width() - kCaption, kConfigCancelButton.Height(), "Cancel buttons"},
    {IDS_BACK, nullptr, SkinFont::Button, kCancelButton.Width() - kCaption, kCancelButton.Height(), "Cancel button as Back"},
    {IDS_SAVE, nullptr, SkinFont::Button, kConfigSaveButton.Width() - kCaption, kConfigSaveButton.Height(), "Save button"},
    {IDS_SELECT_PROGRAM, nullptr, SkinFont::Subtitle, kMainSubtitleBox.Width(), kMainSubtitleBox.Height(), "main window instruction"},
    {IDS_UPDATES_MANAGED, nullptr, SkinFont::Subtitle, kMainSubtitleBox.Width(), kMainSubtitleBox.Height(), "main window instruction, updates managed"},
    {0, kMainTitle, SkinFont::Title, kMainTitleBox.Width(), kMainTitleBox.Height(), "main window title"},
    {IDS_SETTING_TITLE, nullptr, SkinFont::DialogTitle, kConfigTitleBox.Width(), kConfigTitleBox.Height(), "settings title"},
    {IDS_LANGUAGE, nullptr, SkinFont::DialogText, kConfigLanguageCaptionBox.Width(), kConfigLanguageCaptionBox.Height(), "settings Language caption"},
    {IDS_LOCAL, nullptr, SkinFont::DialogText, kConfigRegionCaptionBox.Width(), kConfigRegionCaptionBox.Height(), "settings region caption"},
    {IDS_REGION_HQ, nullptr, SkinFont::DialogText, kRegionRadioWidth - kRadioMarkWidth, kRadioHeight, "server radio"},
    {IDS_REGION_AMR, nullptr, SkinFont::DialogText, kRegionRadioWidth - kRadioMarkWidth, kRadioHeight, "server radio"},
    {IDS_REGION_EUR, nullptr, SkinFont::DialogText, kRegionRadioWidth - kRadioMarkWidth, kRadioHeight, "server radio"},
    {IDS_REGION_CHNA, nullptr, SkinFont::DialogText, kRegionRadioWidth - kRadioMarkWidth, kRadioHeight, "server radio"},
    {0, kSupportLine, SkinFont::DialogText, kConfigContactBox.Width(), kConfigContactBox.Height(), "support line"},
    {IDS_PROGRAM_NAME, nullptr, SkinFont::List, kListNameColumn - kCell, 25, "list name header"},
    {IDS_STATUS, nullptr, SkinFont::List, kListStatusColumn - kCell, 25, "list status header"},
    {IDS_STATUS_UPDATE, nullptr, SkinFont::List, kListStatusColumn - kCell, 25, "status cell"},
    {IDS_STATUS_NOT_INSTALLED, nullptr, SkinFont::List, kListStatusColumn - kCell, 25, "status cell"},
    {IDS_STATUS_LATEST, nullptr, SkinFont::List, kListStatusColumn - kCell, 25, "status cell"},
    {IDS_STATUS_DOWNLOADING, nullptr, SkinFont::List, kListStatusColumn - kCell, 25, "status cell"},
    {IDS_STATUS_DOWNLOADED, nullptr, SkinFont::List, kListStatusColumn - kCell, 25, "status cell"},
    {IDS_STATUS_LOADING, nullptr, SkinFont::List, kListStatusColumn - kCell, 25, "status cell"},
};

// The language radios show each language's own name, whatever the interface language.
const wchar_t* const kLanguageNames[] = {L"\xD55C\xAD6D\xC5B4", L"English", L"\x6C49\x8BED",
                                         L"\x65E5\x672C\x8A9E", L"Polski", L"rom\x00E2n",
                                         L"fran\x00E7" L"ais", L"espa\x00F1ol", L"T\x00FCrk",
                                         L"italiano", L"Deutsch"};

SIZE Measure(HDC dc, HFONT font, const std::wstring& text) {
    HGDIOBJ old = ::SelectObject(dc, font);
    RECT r{0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, old);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// At every scale, fonts made for the DPI in boxes scaled to it. `dpi_` 96 is 100 %.
class TextFit : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        dpi_ = GetParam();
        dc_ = ::GetDC(nullptr);
        for (SkinFont f : {SkinFont::Button, SkinFont::Title, SkinFont::Subtitle, SkinFont::List,
                           SkinFont::DialogTitle, SkinFont::DialogText})
            fonts_.push_back(CreateSkinFont(f, dpi_));
    }
    // The fewest pixels a span of `units` takes once its edges are rounded.
    int Px(int units) const { return units * dpi_ / kBaseDpi; }
    void TearDown() override { ::ReleaseDC(nullptr, dc_); }
    HFONT FontOf(SkinFont f) const { return static_cast<HFONT>(fonts_[static_cast<int>(f)].get()); }

    int dpi_ = kBaseDpi;
    HDC dc_ = nullptr;
    std::vector<win::GdiObject> fonts_;
};

INSTANTIATE_TEST_SUITE_P(Scales, TextFit, ::testing::Values(96, 144, 192));

TEST_P(TextFit, TahomaIsLinkedToACjkFont) {
    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    ASSERT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE,
                             L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink",
                             L"Tahoma", RRF_RT_REG_MULTI_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_NE(std::wstring(value).find(L"wqy-microhei"), std::wstring::npos);
    // A linked face draws Hangul as glyphs of its own width, not as narrow boxes.
    const SIZE hangul = Measure(dc_, FontOf(SkinFont::DialogText), L"\xD55C\xAD6D\xC5B4");
    EXPECT_GE(hangul.cx, Px(3 * 10));
}

TEST_P(TextFit, EveryTextFitsItsRectangleInEveryLanguage) {
    int checked = 0;
    for (int language = 0; language < kLanguageCount; ++language) {
        const LANGID lang = StringTableLangId(language);
        for (const Slot& slot : kSlots) {
            const std::wstring text = slot.id ? win::LoadStringLang(slot.id, lang) : slot.fixed;
            ASSERT_FALSE(text.empty()) << slot.id;
            const SIZE size = Measure(dc_, FontOf(slot.font), text);
            EXPECT_LE(size.cx, Px(slot.width))
                << dpi_ << " dpi, lang " << lang << ", " << slot.where << ", id "
                                           << slot.id << ": " << size.cx << " px wide";
            EXPECT_LE(size.cy, Px(slot.height))
                << dpi_ << " dpi, lang " << lang << ", " << slot.where;
            ++checked;
        }

        // The Settings caption clears the gear at the left of its face.
        const std::wstring setting = win::LoadStringLang(IDS_SETTING, lang);
        const size_t first = setting.find_first_not_of(L' ');
        ASSERT_NE(first, std::wstring::npos);
        const HFONT button = FontOf(SkinFont::Button);
        const int whole = Measure(dc_, button, setting).cx;
        const int spaces = first ? Measure(dc_, button, setting.substr(0, first)).cx : 0;
        const int width = ScaleBox(kSettingsButton, dpi_).Width();
        const int left = (width - whole) / 2 + spaces;
        EXPECT_GE(left, Px(kSettingsGearRight))  // the gear itself ends at 17
            << dpi_ << " dpi, lang " << lang << ": Settings caption over the gear";
        EXPECT_LE((width + whole) / 2, width - Px(kCaptionMargin))
            << "lang " << lang << ": Settings caption " << whole << " px";
        ++checked;
    }
    for (const wchar_t* name : kLanguageNames)
        EXPECT_LE(Measure(dc_, FontOf(SkinFont::DialogText), name).cx,
                  Px(kLanguageRadioWidth - kRadioMarkWidth));
    EXPECT_EQ(checked, kLanguageCount * (static_cast<int>(std::size(kSlots)) + 1));
}

}  // namespace
}  // namespace pelmora
