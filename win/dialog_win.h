// Dialog base: binds the C++ object to its window at WM_INITDIALOG and
// dispatches messages to virtual handlers. Modal or modeless.
#pragma once
#include <windows.h>

#include <string>

namespace win {

class Dialog {
public:
    explicit Dialog(UINT templateId) noexcept : templateId_(templateId) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the value given to EndDialog, or -1
    // when the template could not be loaded.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the dialog modeless (hidden unless the template says visible).
    bool Create(HWND parent = nullptr);
    // Destroys a modeless dialog; harmless when there is no window.
    void Destroy() noexcept;

    HWND hwnd() const noexcept { return hwnd_; }
    HWND Item(int id) const noexcept { return ::GetDlgItem(hwnd_, id); }
    bool IsModal() const noexcept { return modal_; }
    void EndDialog(INT_PTR result) noexcept;

protected:
    // Returns what the dialog procedure returns; TRUE means handled. Handlers
    // that must return a value other than TRUE/FALSE set DWLP_MSGRESULT.
    virtual INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Return value as for WM_INITDIALOG (TRUE: let the system set the focus).
    virtual BOOL OnInitDialog() { return TRUE; }
    // Return true when the command was handled.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    // WM_CLOSE: ends a modal dialog as cancelled, destroys a modeless one.
    virtual void OnClose();
    // Last message the object sees; the handle is cleared after it.
    virtual void OnDestroy() {}

private:
    static INT_PTR CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;

    UINT templateId_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
};

// Small helpers over plain windows and controls.
std::wstring GetWindowTextString(HWND wnd);
void SetWindowTextString(HWND wnd, const std::wstring& text);
std::wstring GetClassNameString(HWND wnd);

}  // namespace win
