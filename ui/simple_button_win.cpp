#include "ui/simple_button_win.h"

#include "ui/skin_win.h"
#include "win/dialog_win.h"

#include <commctrl.h>

namespace pelmora {

CSimpleButton::CSimpleButton() : m_font(CreateSkinFont(SkinFont::Button)) {}

CSimpleButton::~CSimpleButton() { Detach(); }

bool CSimpleButton::Attach(HWND button) {
    Detach();
    if (!button || !::SetWindowSubclass(button, &CSimpleButton::SubclassProc, 0,
                                        reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_button = button;
    m_caption = win::GetWindowTextString(button);
    return true;
}

void CSimpleButton::Detach() noexcept {
    if (m_button) ::RemoveWindowSubclass(m_button, &CSimpleButton::SubclassProc, 0);
    m_button = nullptr;
    m_hover = m_tracking = false;
}

void CSimpleButton::SetDpi(int dpi) {
    if (dpi == m_dpi) return;
    m_dpi = dpi;
    m_font = CreateSkinFont(SkinFont::Button, dpi);
    if (m_button)
        ::SendMessageW(m_button, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), TRUE);
    const int id = m_bitmapId;
    m_bitmapId = 0;
    if (id) SetBitmapId(id);
}

void CSimpleButton::SetBitmapId(int id) {
    if (id == m_bitmapId) return;
    m_bitmapId = id;
    m_bitmap.reset();
    m_hasBitmap = false;
    win::GdiObject bitmap = LoadSkinBitmap(id, m_dpi);
    if (bitmap) SetBitmap(static_cast<HBITMAP>(bitmap.release()));
}

void CSimpleButton::SetBitmap(HBITMAP bitmap) {
    m_bitmap.reset(bitmap);
    const SIZE size = BitmapSize(bitmap);
    m_frameWidth = size.cx / 4;
    m_frameHeight = size.cy;
    if (m_button && ::IsWindow(m_button))
        ::SetWindowPos(m_button, nullptr, 0, 0, m_frameWidth, m_frameHeight,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    else
        ::MessageBoxW(nullptr, L"create SimpleButton error", L"Pelmora", MB_OK);
    m_hasBitmap = true;
    m_frameCount = 4;
    if (m_button && ::IsWindowVisible(m_button)) ::InvalidateRect(m_button, nullptr, FALSE);
}

void CSimpleButton::SetCaption(const std::wstring& caption) {
    if (!m_button) return;
    ::SetWindowTextW(m_button, caption.c_str());  // WM_SETTEXT keeps m_caption
    ::SendMessageW(m_button, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), TRUE);
}

void CSimpleButton::DrawItem(const DRAWITEMSTRUCT& item) {
    if (!m_hasBitmap || !m_bitmap) return;
    const RECT& r = item.rcItem;
    const HWND parent = ::GetParent(item.hwndItem);
    const bool disabled = (item.itemState & ODS_DISABLED) || !::IsWindowEnabled(item.hwndItem) ||
                          (parent && !::IsWindowEnabled(parent));
    const int frame = ChooseButtonFrame(disabled, item.itemState & ODS_SELECTED, m_hover);

    win::MemoryDc memory(::CreateCompatibleDC(item.hDC));
    {
        win::SelectObjectScope selected(memory.get(), m_bitmap.get());
        const int oldMode = ::SetStretchBltMode(item.hDC, HALFTONE);
        ::SetBrushOrgEx(item.hDC, 0, 0, nullptr);
        ::StretchBlt(item.hDC, 0, 0, r.right, r.bottom, memory.get(), frame * m_frameWidth, 0,
                     m_frameWidth, m_frameHeight, SRCCOPY);
        ::SetStretchBltMode(item.hDC, oldMode);
    }
    if (m_drawCaption && !m_caption.empty())
        DrawSkinText(item.hDC, m_caption, Font(), RGB(255, 255, 255),
                     Box{r.left, r.top, r.right, r.bottom}, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        const int inset = (r.right - r.left) > 20 ? 3 : 1;
        RECT focus{r.left + inset, r.top + inset, r.right - inset, r.bottom - inset};
        ::SetTextColor(item.hDC, RGB(255, 255, 255));
        ::SetBkColor(item.hDC, RGB(0, 0, 0));
        ::DrawFocusRect(item.hDC, &focus);
    }
}

LRESULT CALLBACK CSimpleButton::SubclassProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                             DWORD_PTR self) noexcept {
    try {
        return reinterpret_cast<CSimpleButton*>(self)->HandleMessage(wnd, msg, wp, lp);
    } catch (...) {
        return ::DefSubclassProc(wnd, msg, wp, lp);
    }
}

LRESULT CSimpleButton::HandleMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_MOUSEMOVE:
        if (!m_tracking) {
            TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, wnd, 1};
            m_tracking = ::TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER:
        m_hover = true;
        OnHover(true);
        ::InvalidateRect(wnd, nullptr, FALSE);
        return 0;
    case WM_MOUSELEAVE:
        m_hover = false;
        m_tracking = false;
        OnHover(false);
        ::InvalidateRect(wnd, nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the face covers the whole button
    case WM_CHAR:
    case WM_DEADCHAR:
        return 0;  // key presses (Space) still reach the button as WM_KEYDOWN/UP
    case WM_GETDLGCODE:
        // Enter on a focused skinned button presses it, as on a push button;
        // the dialog manager would otherwise send IDOK.
        if (lp) {
            const MSG* m = reinterpret_cast<const MSG*>(lp);
            if (m->message == WM_KEYDOWN && m->wParam == VK_RETURN)
                return ::DefSubclassProc(wnd, msg, wp, lp) | DLGC_WANTMESSAGE;
        }
        break;
    case WM_KEYDOWN:
        if (wp == VK_RETURN) {
            if (::IsWindowEnabled(wnd))
                ::SendMessageW(::GetParent(wnd), WM_COMMAND,
                               MAKEWPARAM(::GetDlgCtrlID(wnd), BN_CLICKED),
                               reinterpret_cast<LPARAM>(wnd));
            return 0;
        }
        break;
    case WM_SETTEXT: {
        const LRESULT result = ::DefSubclassProc(wnd, msg, wp, lp);
        m_caption = lp ? reinterpret_cast<const wchar_t*>(lp) : L"";
        ::InvalidateRect(wnd, nullptr, FALSE);
        return result;
    }
    case WM_NCDESTROY: {
        const LRESULT result = ::DefSubclassProc(wnd, msg, wp, lp);
        ::RemoveWindowSubclass(wnd, &CSimpleButton::SubclassProc, 0);
        m_button = nullptr;
        return result;
    }
    default:
        break;
    }
    return ::DefSubclassProc(wnd, msg, wp, lp);
}

}  // namespace pelmora
