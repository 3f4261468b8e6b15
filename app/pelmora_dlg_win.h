// The main window. For now it reads the settings and stays open until closed.
#pragma once
#include "app/settings.h"
#include "win/dialog_win.h"
#include "win/handles_win.h"

#include <string>

namespace pelmora {

class CPelmoraDlg : public win::Dialog {
public:
    CPelmoraDlg(bool quietMode, std::wstring commandLine);

    const Settings& CurrentSettings() const noexcept { return settings_; }

protected:
    BOOL OnInitDialog() override;

private:
    bool quietMode_;
    std::wstring commandLine_;
    Settings settings_;  // InterfaceLanguage and ServerRegion
    win::Icon icon_;
    win::Icon smallIcon_;
};

}  // namespace pelmora
