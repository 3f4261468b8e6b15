// The splash window shown while the start-up works: modeless, centred on the
// screen, the splash picture on black. Esc, Alt+F4 and WM_CLOSE close it,
// also while the start-up waits for the network, and call its owner back.
#pragma once
#include "win/dialog_win.h"
#include "win/handles_win.h"

#include <functional>

namespace pelmora {

class CSplashDlg : public win::Dialog {
public:
    CSplashDlg();
    // Creates, centres, shows and paints it at once; false when it could not
    // be created. `onUserClose` runs when the user closes it (not on Close()).
    bool Open(std::function<void()> onUserClose = {});
    // Destroys it; harmless when it is not open.
    void Close() noexcept;
    bool IsOpen() const noexcept { return hwnd() != nullptr; }

protected:
    INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void OnClose() override;
    void OnDestroy() override;

private:
    win::GdiObject picture_;
    std::function<void()> onUserClose_;
};

}  // namespace pelmora
