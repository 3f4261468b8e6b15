// The settings dialog run modally, driven by clicks and keys from inside its
// own loop, against the real settings file of the test prefix.
#include "ui/config_dlg_win.h"

#include "app/settings/interface_language_win.h"
#include "resource_ids.h"
#include "string_ids.h"
#include "ui/skin_layout.h"
#include "win/files_win.h"
#include "win/string_resources_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/file_bytes_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/ui_driver_win.h"

namespace pelmora {
namespace {

using Step = std::function<void(HWND)>;

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(win::EnsureFolder(win::LocalRoot() + L"Korvath"));
        ASSERT_TRUE(win::EnsureFolder(win::LocalRoot() + L"Korvath\\tools"));
        ::DeleteFileW(SettingsFilePath().c_str());
        win::SetThreadStringLanguage(2057);
        // An owner standing in for the main window, to centre on.
        owner_ = ::CreateWindowExW(0, L"Static", L"owner", WS_POPUP | WS_VISIBLE, 100, 120, 700,
                                   400, nullptr, nullptr, nullptr, nullptr);
        ::SetForegroundWindow(owner_);
        testsupport::Pump(100);
    }
    void TearDown() override {
        ::DestroyWindow(owner_);
        ::DeleteFileW(SettingsFilePath().c_str());
        win::SetThreadStringLanguage(2057);
    }
    // Runs the dialog for `language`/`region` with `steps`; returns its result.
    INT_PTR Run(int language, int region, std::vector<Step> steps) {
        dialog_ = std::make_unique<CConfigDlg>(language, region);
        return testsupport::RunModalScript(
            win::LoadText(IDS_SETTING_TITLE), [&] { return dialog_->Run(owner_); },
            std::move(steps));
    }
    static std::string File() { return testsupport::ReadFileBytes(SettingsFilePath()); }

    HWND owner_ = nullptr;
    std::unique_ptr<CConfigDlg> dialog_;
};

TEST_F(SettingsDialog, FrenchAndSaveWritesFrenchAndTheNextReadIsFrench) {
    RECT placed{};
    const INT_PTR result = Run(English, AMR,
                               {[&](HWND d) {
                                    ::GetWindowRect(d, &placed);
                                    // Opened on the current choices.
                                    EXPECT_EQ(::IsDlgButtonChecked(d, IDC_RADIO_ENGLISH), BST_CHECKED);
                                    EXPECT_EQ(::IsDlgButtonChecked(d, IDC_RADIO_AMR), BST_CHECKED);
                                    EXPECT_EQ(::IsDlgButtonChecked(d, IDC_RADIO_KOREAN), 0u);
                                    Click(d, IDC_RADIO_FRENCH);
                                    Click(d, IDC_RADIO_CHNA);
                                },
                                [](HWND d) { Click(d, IDC_CONFIG_SAVE); }});
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(File(), "Language:French,Server:CHNA");
    EXPECT_EQ(dialog_->Language(), French);
    // 530 x 254, centred on the owner's client area.
    EXPECT_EQ(placed.right - placed.left, kConfigWidth);
    EXPECT_EQ(placed.bottom - placed.top, kConfigHeight);
    EXPECT_NEAR((placed.left + placed.right) / 2, 100 + 350, 1);
    EXPECT_NEAR((placed.top + placed.bottom) / 2, 120 + 200, 1);

    Settings next;  // what the next start reads
    ReadSettings(next, std::nullopt);
    EXPECT_EQ(next.language, French);
    EXPECT_EQ(next.region, CHNA);
    EXPECT_EQ(win::LoadText(IDS_SAVE), win::LoadStringLang(IDS_SAVE, 12));
}

TEST_F(SettingsDialog, WithNoLanguageSelectedRomanianStaysAndOthersBecomeEnglish) {
    auto clearLanguages = [](HWND d) {
        for (int id : kLanguageRadioIds) ::CheckDlgButton(d, id, BST_UNCHECKED);
        for (int id : kRegionRadioIds) ::CheckDlgButton(d, id, BST_UNCHECKED);
    };
    EXPECT_EQ(Run(Romanian, EUR, {clearLanguages, [](HWND d) { Click(d, IDC_CONFIG_SAVE); }}),
              IDOK);
    EXPECT_EQ(File(), "Language:Romanian,Server:HQ");
    EXPECT_EQ(Run(German, EUR, {clearLanguages, [](HWND d) { Click(d, IDC_CONFIG_SAVE); }}), IDOK);
    EXPECT_EQ(File(), "Language:English,Server:HQ");
    // Romanian current and nothing touched: Romanian again.
    EXPECT_EQ(Run(Romanian, HQ, {[](HWND d) { Click(d, IDC_CONFIG_SAVE); }}), IDOK);
    EXPECT_EQ(File(), "Language:Romanian,Server:HQ");
}

TEST_F(SettingsDialog, CancelCloseAndEscLeaveTheFileByteIdentical) {
    const std::string before = "Language:Polish,Server:EUR\r\n";
    ASSERT_TRUE(testsupport::WriteFileBytes(SettingsFilePath(), before));
    auto change = [](HWND d) {
        Click(d, IDC_RADIO_GERMAN);
        Click(d, IDC_RADIO_HQ);
    };
    EXPECT_EQ(Run(Polish, EUR, {change, [](HWND d) { Click(d, IDC_CONFIG_CANCEL); }}), IDCANCEL);
    EXPECT_EQ(File(), before);
    EXPECT_EQ(Run(Polish, EUR, {change, [](HWND d) { Click(d, IDC_CONFIG_CLOSE); }}), IDCANCEL);
    EXPECT_EQ(File(), before);
    EXPECT_EQ(Run(Polish, EUR,
                  {change, [](HWND d) { ::SetForegroundWindow(d); },
                   [](HWND) { testsupport::Key(VK_ESCAPE); }}),
              IDCANCEL);
    EXPECT_EQ(File(), before);
}

TEST_F(SettingsDialog, KeyboardMovesThroughTheGroupsAndSavesWithEnter) {
    const INT_PTR result = Run(
        Korean, HQ,
        {[](HWND d) { ::SetForegroundWindow(d); },
         [](HWND d) {
             EXPECT_EQ(::GetFocus(), ::GetDlgItem(d, IDC_RADIO_KOREAN));
             testsupport::Key(VK_DOWN);  // arrows move within the language group
         },
         [](HWND d) {
             EXPECT_EQ(::IsDlgButtonChecked(d, IDC_RADIO_ENGLISH), BST_CHECKED);
             testsupport::Key(VK_TAB);  // to the server group
         },
         [](HWND d) {
             EXPECT_EQ(::GetFocus(), ::GetDlgItem(d, IDC_RADIO_HQ));
             testsupport::Key(VK_TAB);  // to Save
         },
         [](HWND d) {
             EXPECT_EQ(::GetFocus(), ::GetDlgItem(d, IDC_CONFIG_SAVE));
             testsupport::Key(VK_RETURN);
         }});
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(File(), "Language:English,Server:HQ");
}

TEST_F(SettingsDialog, DraggedByItsTopBandOnly) {
    RECT start{}, afterBand{}, afterBody{};
    Run(English, HQ,
        {[&](HWND d) {
             ::GetWindowRect(d, &start);
             testsupport::Drag({start.left + 200, start.top + kConfigDragBand - 1},
                               {start.left + 230, start.top + kConfigDragBand + 19});
             ::GetWindowRect(d, &afterBand);
             testsupport::Drag({afterBand.left + 200, afterBand.top + kConfigDragBand},
                               {afterBand.left + 230, afterBand.top + kConfigDragBand + 20});
             ::GetWindowRect(d, &afterBody);
         },
         [](HWND d) { Click(d, IDC_CONFIG_CANCEL); }});
    EXPECT_EQ(afterBand.left - start.left, 30);
    EXPECT_EQ(afterBand.top - start.top, 20);
    EXPECT_EQ(afterBody.left, afterBand.left);
    EXPECT_EQ(afterBody.top, afterBand.top);
}

}  // namespace
}  // namespace pelmora
