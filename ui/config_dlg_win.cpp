#include "ui/config_dlg_win.h"

#include "app/settings/interface_language_win.h"
#include "resource_ids.h"
#include "string_ids.h"
#include "ui/config_choice.h"
#include "ui/skin_win.h"
#include "win/string_resources_win.h"

namespace pelmora {

const int kLanguageRadioIds[11] = {IDC_RADIO_KOREAN,   IDC_RADIO_ENGLISH, IDC_RADIO_CHINESE,
                                   IDC_RADIO_JAPANESE, IDC_RADIO_POLISH,  IDC_RADIO_ROMANIAN,
                                   IDC_RADIO_FRENCH,   IDC_RADIO_SPANISH, IDC_RADIO_TURKISH,
                                   IDC_RADIO_ITALIAN,  IDC_RADIO_GERMAN};
const int kRegionRadioIds[4] = {IDC_RADIO_HQ, IDC_RADIO_AMR, IDC_RADIO_EUR, IDC_RADIO_CHNA};

namespace {

bool IsRadio(int id) { return id >= IDC_RADIO_KOREAN && id <= IDC_RADIO_SPANISH; }

void Move(HWND control, const Box& box) { MoveToBox(control, box); }

}  // namespace

CConfigDlg::CConfigDlg(int language, int region, bool regionFixed)
    : win::Dialog(IDD_CONFIG_DIALOG),
      language_(language),
      region_(region),
      regionFixed_(regionFixed),
      blackBrush_(::CreateSolidBrush(RGB(0, 0, 0))) {}

BOOL CConfigDlg::OnInitDialog() {
    dpi_ = WindowDpi(hwnd());
    titleFont_ = CreateSkinFont(SkinFont::DialogTitle, dpi_);
    textFont_ = CreateSkinFont(SkinFont::DialogText, dpi_);
    background_ = LoadSkinBitmap(IDB_CONFIG_BACKGROUND, dpi_);
    ::SetWindowTextW(hwnd(), win::LoadText(IDS_SETTING_TITLE).c_str());  // painted, and read aloud
    save_.Attach(Item(IDC_CONFIG_SAVE));
    cancel_.Attach(Item(IDC_CONFIG_CANCEL));
    close_.Attach(Item(IDC_CONFIG_CLOSE));
    for (CSimpleButton* button : {&save_, &cancel_, &close_}) button->SetDpi(dpi_);
    save_.SetBitmapId(IDB_CONFIG_BUTTON);
    cancel_.SetBitmapId(IDB_CONFIG_BUTTON);
    close_.SetBitmapId(IDB_CONFIG_CLOSE);
    save_.SetCaption(win::LoadText(IDS_SAVE));
    cancel_.SetCaption(win::LoadText(IDS_CANCEL));
    close_.SetDrawCaption(false);
    close_.SetCaption(win::LoadText(IDS_CLOSE_NAME));
    for (int i = 0; i < 4; ++i)
        ::SetDlgItemTextW(hwnd(), kRegionRadioIds[i], win::LoadText(IDS_REGION_HQ + i).c_str());
    Place();

    const int language = language_ >= 0 && language_ < 11 ? language_ : English;
    const int region = RegionOrHq(region_);
    // One BM_SETCHECK each: the language and server ids interleave, so no id range fits.
    for (int i = 0; i < 11; ++i)
        ::SendDlgItemMessageW(hwnd(), kLanguageRadioIds[i], BM_SETCHECK,
                              i == language ? BST_CHECKED : BST_UNCHECKED, 0);
    // A region fixed by the machine's policy is shown, not offered.
    const bool fixed = regionFixed_;
    for (int i = 0; i < 4; ++i) {
        ::SendDlgItemMessageW(hwnd(), kRegionRadioIds[i], BM_SETCHECK,
                              i == region ? BST_CHECKED : BST_UNCHECKED, 0);
        if (fixed) ::EnableWindow(Item(kRegionRadioIds[i]), FALSE);
    }
    ::SetFocus(Item(kLanguageRadioIds[language]));
    return FALSE;  // focus set here
}

void CConfigDlg::Place() {
    // Centred on the main window's client area.
    RECT outer{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (HWND owner = ::GetWindow(hwnd(), GW_OWNER)) {
        ::GetClientRect(owner, &outer);
        ::MapWindowPoints(owner, nullptr, reinterpret_cast<POINT*>(&outer), 2);
    }
    const SIZE size{ScaleToDpi(kConfigWidth, dpi_), ScaleToDpi(kConfigHeight, dpi_)};
    const POINT at = CentredOn(outer, size);
    ::SetWindowPos(hwnd(), nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER);

    Move(save_.hwnd(), kConfigSaveButton);
    Move(cancel_.hwnd(), kConfigCancelButton);
    Move(close_.hwnd(), kConfigCloseButton);
    const HFONT font = static_cast<HFONT>(textFont_.get());
    for (int i = 0; i < 11; ++i) {
        const int x = i < 6 ? 19 : 130;
        const int y = 78 + 20 * (i < 6 ? i : i - 6);
        Move(Item(kLanguageRadioIds[i]), Box{x, y, x + kLanguageRadioWidth, y + kRadioHeight});
        ::SendDlgItemMessageW(hwnd(), kLanguageRadioIds[i], WM_SETFONT,
                              reinterpret_cast<WPARAM>(font), FALSE);
    }
    for (int i = 0; i < 4; ++i) {
        const int y = 81 + 23 * i;
        Move(Item(kRegionRadioIds[i]), Box{280, y, 280 + kRegionRadioWidth, y + kRadioHeight});
        ::SendDlgItemMessageW(hwnd(), kRegionRadioIds[i], WM_SETFONT,
                              reinterpret_cast<WPARAM>(font), FALSE);
    }
}

void CConfigDlg::Paint(HDC dc) {
    const int dpi = dpi_;
    const Box whole = ScaleBox(Box{0, 0, kConfigWidth, kConfigHeight}, dpi);
    StretchBitmap(dc, static_cast<HBITMAP>(background_.get()), whole);
    const HFONT title = static_cast<HFONT>(titleFont_.get());
    const HFONT text = static_cast<HFONT>(textFont_.get());
    const UINT line = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    DrawSkinText(dc, win::LoadText(IDS_SETTING_TITLE), title, RGB(255, 255, 255),
                 ScaleBox(kConfigTitleBox, dpi), line | DT_LEFT);
    DrawSkinText(dc, win::LoadText(IDS_LANGUAGE), text, RGB(0, 0, 0),
                 ScaleBox(kConfigLanguageCaptionBox, dpi), line | DT_LEFT);
    DrawSkinText(dc, win::LoadText(IDS_LOCAL), text, RGB(0, 0, 0),
                 ScaleBox(kConfigRegionCaptionBox, dpi), line | DT_LEFT);
    DrawSkinText(dc, kSupportLine, text, RGB(90, 100, 110), ScaleBox(kConfigContactBox, dpi),
                 line | DT_CENTER);
    // A borderless dialog over the light main window needs an edge of its own.
    RECT edge{0, 0, whole.right, whole.bottom};
    win::GdiObject frame(::CreateSolidBrush(RGB(27, 37, 48)));
    ::FrameRect(dc, &edge, static_cast<HBRUSH>(frame.get()));
}

int CConfigDlg::SelectedRadio(const int* ids, int count) const {
    for (int i = 0; i < count; ++i)
        if (::IsDlgButtonChecked(hwnd(), ids[i]) == BST_CHECKED) return i;
    return -1;
}

void CConfigDlg::Save() {
    language_ = LanguageToSave(SelectedRadio(kLanguageRadioIds, 11), language_);
    region_ = RegionToSave(SelectedRadio(kRegionRadioIds, 4));  // the fixed one under a policy
    WriteSettings(language_, region_);
    EndDialog(IDOK);
}

bool CConfigDlg::OnCommand(WORD id, WORD code, HWND control) {
    switch (id) {
    case IDC_CONFIG_SAVE:
    case IDOK:  // Enter on a radio
        Save();
        return true;
    case IDC_CONFIG_CANCEL:
    case IDC_CONFIG_CLOSE:
    case IDCANCEL:  // Esc
        EndDialog(IDCANCEL);
        return true;
    default:
        return win::Dialog::OnCommand(id, code, control);
    }
}

INT_PTR CConfigDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        ::SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, 1);  // WM_PAINT covers it all
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd(), &ps);
        Paint(dc);
        ::EndPaint(hwnd(), &ps);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const HDC dc = reinterpret_cast<HDC>(wp);
        if (IsRadio(::GetDlgCtrlID(reinterpret_cast<HWND>(lp)))) {
            ::SetBkMode(dc, OPAQUE);
            ::SetBkColor(dc, RGB(255, 255, 255));
            ::SetTextColor(dc, RGB(0, 0, 0));
            return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
        }
        return reinterpret_cast<INT_PTR>(blackBrush_.get());
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        for (CSimpleButton* button : {&save_, &cancel_, &close_})
            if (item && item->hwndItem == button->hwnd()) {
                button->DrawItem(*item);
                ::SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
        return FALSE;
    }
    case WM_LBUTTONDOWN:
        return DragByBand(hwnd(), lp, kConfigDragBand) ? TRUE : FALSE;
    default:
        return win::Dialog::HandleMessage(msg, wp, lp);
    }
}

}  // namespace pelmora
