// An owner-drawn push button whose face comes from one bitmap of four frames
// side by side (normal, pressed, hover, disabled), stretched to the button,
// with its window text drawn centred in white. The window text stays the
// caption, so screen readers read it and SetWindowTextW changes it.
#pragma once
#include "win/handles_win.h"

#include <windows.h>

#include <string>

namespace pelmora {

class CSimpleButton {
public:
    CSimpleButton();
    virtual ~CSimpleButton();
    CSimpleButton(const CSimpleButton&) = delete;
    CSimpleButton& operator=(const CSimpleButton&) = delete;

    // Binds to an owner-drawn (BS_OWNERDRAW) button of a dialog, borrowed:
    // the dialog destroys it. The parent forwards WM_DRAWITEM to DrawItem.
    bool Attach(HWND button);
    void Detach() noexcept;
    HWND hwnd() const noexcept { return m_button; }

    // The DPI the face and the caption's font are made for; a change reloads
    // both. Call before SetBitmapId.
    void SetDpi(int dpi);
    int Dpi() const noexcept { return m_dpi; }

    // Loads the face from a bitmap resource, the set drawn for the button's
    // DPI; nothing happens when `id` is already the face's.
    void SetBitmapId(int id);
    // Takes ownership of `bitmap` and sizes the button to one frame.
    void SetBitmap(HBITMAP bitmap);
    int BitmapId() const noexcept { return m_bitmapId; }

    // Sets the window text and the button's own font.
    void SetCaption(const std::wstring& caption);
    const std::wstring& Caption() const noexcept { return m_caption; }
    // A button that draws only its face still keeps its window text as its
    // accessible name.
    void SetDrawCaption(bool draw) noexcept { m_drawCaption = draw; }
    HFONT Font() const noexcept { return static_cast<HFONT>(m_font.get()); }

    void DrawItem(const DRAWITEMSTRUCT& item);
    bool IsHover() const noexcept { return m_hover; }

protected:
    // Called when the pointer starts (true) or stops (false) hovering.
    virtual void OnHover(bool) {}

private:
    static LRESULT CALLBACK SubclassProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                         DWORD_PTR self) noexcept;
    LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

    HWND m_button = nullptr;  // borrowed
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    bool m_stretch = true;
    win::GdiObject m_bitmap;
    int m_frameCount = 1;
    bool m_hasBitmap = false;
    bool m_hover = false;
    bool m_tracking = false;
    int m_bitmapId = 0;
    int m_dpi = 96;
    std::wstring m_caption;
    bool m_drawCaption = true;
    win::GdiObject m_font;
};

}  // namespace pelmora
