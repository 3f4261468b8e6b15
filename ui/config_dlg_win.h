// The settings dialog (template 129): interface language and server region.
// Borderless and skinned, dragged by its top band; Save writes the settings
// file, Cancel and the close button write nothing.
#pragma once
#include "ui/simple_button_win.h"
#include "ui/skin_layout.h"
#include "win/dialog_win.h"
#include "win/handles_win.h"

namespace pelmora {

// Language radios in the order of InterfaceLanguage; server radios in the
// order of ServerRegion.
extern const int kLanguageRadioIds[11];
extern const int kRegionRadioIds[4];

class CConfigDlg : public win::Dialog {
public:
    // `regionFixed`: the machine's policy fixes the region; it is shown, not offered.
    CConfigDlg(int language, int region, bool regionFixed = false);

    // Modal; IDOK when Save ended it (the file was written, or tried).
    INT_PTR Run(HWND mainWindow) { return DoModal(mainWindow); }
    int Language() const noexcept { return language_; }
    int Region() const noexcept { return region_; }

protected:
    BOOL OnInitDialog() override;
    INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void Place();
    void Paint(HDC dc);
    void Save();
    int SelectedRadio(const int* ids, int count) const;

    int language_;
    int region_;
    bool regionFixed_;
    CSimpleButton save_;
    CSimpleButton cancel_;
    CSimpleButton close_;
    int dpi_ = kBaseDpi;  // the window's, read as it opens
    win::GdiObject titleFont_;
    win::GdiObject textFont_;
    win::GdiObject background_;
    win::GdiObject blackBrush_;
};

}  // namespace pelmora
