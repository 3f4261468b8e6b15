// Geometry of the skinned windows and the rectangles their texts are drawn
// into. Both the painting code and the fit test of the translations read it
// from here, so a text that fits in the test fits on screen.
#pragma once
#include "pelmora_version.h"

namespace pelmora {

// Frames of a button face, side by side in its bitmap.
enum ButtonFrame : int { FrameNormal = 0, FramePressed = 1, FrameHover = 2, FrameDisabled = 3 };

// Disabled wins over pressed, pressed over hover.
constexpr ButtonFrame ChooseButtonFrame(bool disabled, bool pressed, bool hover) {
    return disabled ? FrameDisabled : pressed ? FramePressed : hover ? FrameHover : FrameNormal;
}

// The fonts of the skin; all Tahoma.
enum class SkinFont {
    Button,       // captions of the skinned buttons
    Title,        // main window title
    Subtitle,     // main window instruction line
    List,         // program list
    DialogTitle,  // settings dialog title
    DialogText,   // settings dialog captions and radios
};

struct Box {
    int left, top, right, bottom;
    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
};

// Every position and size below is in 96-dpi units; a window shows them
// scaled to its DPI, rounded to the nearest pixel (halves away from zero).
constexpr int kBaseDpi = 96;

constexpr int ScaleToDpi(int units, int dpi) {
    return units >= 0 ? (units * dpi + kBaseDpi / 2) / kBaseDpi
                      : -((-units * dpi + kBaseDpi / 2) / kBaseDpi);
}

// Edges scale one by one, so boxes that touch at 96 dpi touch at every DPI.
constexpr Box ScaleBox(const Box& box, int dpi) {
    return Box{ScaleToDpi(box.left, dpi), ScaleToDpi(box.top, dpi), ScaleToDpi(box.right, dpi),
               ScaleToDpi(box.bottom, dpi)};
}

// The skin's bitmaps are drawn at 100, 125, 150, 175 and 200 %. A scale in
// between takes the next larger set and shrinks it; above 200 % the largest
// set is stretched.
constexpr int kBitmapScales[] = {100, 125, 150, 175, 200};
// The set of scale `percent` of bitmap `id` has the id `id + kBitmapScaleIdStep * step`.
constexpr int kBitmapScaleIdStep = 1000;

constexpr int BitmapScaleStep(int dpi) {
    int step = 0;
    while (step < 4 && kBitmapScales[step] * kBaseDpi < 100 * dpi) ++step;
    return step;
}

constexpr int ScaledBitmapId(int id, int dpi) {
    return id + kBitmapScaleIdStep * BitmapScaleStep(dpi);
}

// Main window (client coordinates).
constexpr int kMainWidth = 700;
constexpr int kMainHeight = 400;
constexpr int kMainDragBand = 37;  // a press above this row moves the window
constexpr Box kMainTitleBox{10, 6, 460, 29};
constexpr Box kMainSubtitleBox{20, 50, 470, 80};
constexpr Box kMinimumButton{639, 0, 670, 32};
constexpr Box kCloseButton{668, 0, 700, 32};
constexpr Box kSettingsButton{541, 0, 632, 31};
constexpr Box kStartButton{450, 354, 680, 380};
constexpr Box kCancelButton{580, 354, 680, 380};
// The Settings face carries a gear at its left (up to x 17); its caption
// starts with spaces, and must begin clear of the gear.
constexpr int kSettingsGearRight = 23;
// Room a caption leaves on either side of its button.
constexpr int kCaptionMargin = 4;

// Settings dialog (client coordinates).
constexpr int kConfigWidth = 530;
constexpr int kConfigHeight = 254;
constexpr int kConfigDragBand = 33;
constexpr Box kConfigTitleBox{12, 8, 312, 28};
constexpr Box kConfigLanguageCaptionBox{18, 53, 180, 70};
constexpr Box kConfigRegionCaptionBox{282, 53, 363, 70};
constexpr Box kConfigContactBox{0, 236, 530, 252};
constexpr Box kConfigSaveButton{266, 206, 348, 233};
constexpr Box kConfigCancelButton{358, 206, 440, 233};
constexpr Box kConfigCloseButton{505, 10, 518, 23};
constexpr int kLanguageRadioWidth = 100;
constexpr int kRegionRadioWidth = 195;
constexpr int kRadioHeight = 14;
// Width the radio's own circle and its gap take before the text.
constexpr int kRadioMarkWidth = 18;

// Splash.
constexpr int kSplashWidth = 429;
constexpr int kSplashHeight = 264;

// The program list: beside the picture while browsing, the whole width while
// installing.
constexpr Box kListBrowseBox{10, 80, 420, 344};
constexpr Box kListInstallBox{10, 80, 690, 344};
constexpr Box kProgramImageBox{420, 80, 770, 344};
constexpr int kListRowHeight = 25;

// Widths of the list's columns; a cell keeps this much padding on each side
// of its text.
constexpr int kListCheckColumn = 21;
constexpr int kListNameColumn = 170;
constexpr int kListStatusColumn = 85;
constexpr int kListNoteColumn = 80;      // "Release Note", while browsing
constexpr int kListRunColumn = 50;       // "Run", while browsing
constexpr int kListProgressColumn = 280;  // while installing
constexpr int kListButtonColumn = 120;    // while installing
constexpr int kListCellPadding = 6;

constexpr const wchar_t* kWindowTitle = L"Pelmora v" PELMORA_VERSION_WIDE;
constexpr const wchar_t* kMainTitle = L"KORVATH DALLOW Pelmora v" PELMORA_VERSION_WIDE L"_20150130";
constexpr const wchar_t* kSupportLine = L"Contact Us : support@korvath-dallow.example";

}  // namespace pelmora
