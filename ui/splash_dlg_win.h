// The splash window shown while the start-up works: modeless, centred on the
// screen, the splash picture on black.
#pragma once
#include "win/dialog_win.h"
#include "win/handles_win.h"

namespace pelmora {

class CSplashDlg : public win::Dialog {
public:
    CSplashDlg();
    // Creates, centres, shows and paints it at once; false when it could not be created.
    bool Open();
    // Destroys it; harmless when it is not open.
    void Close() noexcept;
    bool IsOpen() const noexcept { return hwnd() != nullptr; }

protected:
    INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnInitDialog() override;

private:
    win::GdiObject picture_;
};

}  // namespace pelmora
