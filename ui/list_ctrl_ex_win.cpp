#include "ui/list_ctrl_ex_win.h"

#include "ui/skin_win.h"
#include "ui/window_messages.h"

#include <cwchar>
#include <iterator>
#include <new>

namespace pelmora {
namespace {

constexpr UINT_PTR kSubclassId = 1;

// Inset from the row's top and bottom edges.
constexpr int kProgressBarInset = 5;
constexpr int kButtonInset = 1;

// Checked state image of a list-view check box (index 2; 1 is unchecked).
constexpr UINT kCheckedStateImage = INDEXTOSTATEIMAGEMASK(2);

bool ValidIndex(int index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

// Messages that only paint, track the pointer or answer a question: none of
// them moves a row or a column. Timers are not among them, since the list
// scrolls on its own timer while a drag nears its edge.
bool CannotMoveRows(UINT msg) {
    switch (msg) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_MOUSEHOVER:
    case WM_MOUSELEAVE:
    case WM_NCMOUSELEAVE:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_PAINT:
    case WM_NCPAINT:
    case WM_ERASEBKGND:
    case WM_PRINTCLIENT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_GETFONT:
    case WM_GETDLGCODE:
    case WM_GETOBJECT:
    case WM_QUERYUISTATE:
    case LVM_GETITEMCOUNT:
    case LVM_GETITEMSTATE:
    case LVM_GETITEMTEXTW:
    case LVM_GETITEMW:
    case LVM_GETITEMRECT:
    case LVM_GETSUBITEMRECT:
    case LVM_GETHEADER:
    case LVM_GETCOLUMNWIDTH:
    case LVM_GETTOPINDEX:
    case LVM_GETCOUNTPERPAGE:
    case LVM_GETNEXTITEM:
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
    case LVM_HITTEST:
    case LVM_SUBITEMHITTEST:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool CListCtrlEx::LayoutKey::operator==(const LayoutKey& o) const {
    auto same = [](const RECT& a, const RECT& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    if (!same(firstRow, o.firstRow) || !same(client, o.client)) return false;
    if (headerBottom != o.headerBottom || rows != o.rows) return false;
    for (size_t i = 0; i < std::size(columnEdges); ++i)
        if (columnEdges[i] != o.columnEdges[i]) return false;
    return true;
}

CListCtrlEx::~CListCtrlEx() {
    m_rowProgress.Reset();
    m_rowButtonState.Reset();
    DestroyControls();
    const HWND list = m_list.load();
    Detach();
    if (m_rowHeightImages) {
        // A list that outlives us must not draw with a destroyed image list.
        if (list && ::IsWindow(list)) ::SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        ::ImageList_Destroy(m_rowHeightImages);
    }
}

bool CListCtrlEx::Attach(HWND list) {
    Detach();
    if (!list ||
        !::SetWindowSubclass(list, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_list = list;
    // Image lists given to the list are ours (SetRowHeight), never the list's to destroy.
    ::SetWindowLongPtrW(list, GWL_STYLE,
                        ::GetWindowLongPtrW(list, GWL_STYLE) | LVS_SHAREIMAGELISTS);
    m_laidOut = CurrentLayout();
    return true;
}

void CListCtrlEx::Detach() noexcept {
    const HWND list = m_list.exchange(nullptr);
    if (list) ::RemoveWindowSubclass(list, SubclassProc, kSubclassId);
}

LRESULT CALLBACK CListCtrlEx::SubclassProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                           DWORD_PTR self) noexcept {
    try {
        return reinterpret_cast<CListCtrlEx*>(self)->HandleMessage(wnd, msg, wp, lp);
    } catch (...) {
        return ::DefSubclassProc(wnd, msg, wp, lp);
    }
}

LRESULT CListCtrlEx::HandleMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (lp != 0) ForwardCommand(wp, lp);
        return ::DefSubclassProc(wnd, msg, wp, lp);
    case WM_LIST_ROW_PROGRESS:
        ApplyRowProgress(static_cast<int>(wp), static_cast<int>(lp));
        return 0;
    case WM_DESTROY:
        DestroyControls();
        return ::DefSubclassProc(wnd, msg, wp, lp);
    case WM_NCDESTROY:
        Detach();
        return ::DefSubclassProc(wnd, msg, wp, lp);
    default:
        break;
    }
    // Scroll bar, wheel, keyboard, type-ahead, LVM_SCROLL, column and size
    // changes all move rows; rather than list them, check after every message
    // that might.
    const LRESULT result = ::DefSubclassProc(wnd, msg, wp, lp);
    if (!CannotMoveRows(msg)) RelayoutIfMoved();
    return result;
}

void CListCtrlEx::ForwardCommand(WPARAM wp, LPARAM lp) {
    const auto w = static_cast<std::uint32_t>(wp);
    const auto views = static_cast<std::uint32_t>(m_viewButtons.size());
    const auto rows = static_cast<std::uint32_t>(GetItemCount());
    const HWND parent = ::GetParent(m_list);
    // Run buttons exist only on installed rows, so their range is bounded by
    // the View buttons, of which every row has one.
    if (w >= kViewButtonIdBase && w - kViewButtonIdBase < views)
        ::PostMessageW(parent, WM_LIST_VIEW_CLICK, w - kViewButtonIdBase, lp);
    else if (w >= kRunButtonIdBase && w - kRunButtonIdBase < views)
        ::PostMessageW(parent, WM_LIST_RUN_CLICK, w - kRunButtonIdBase, lp);
    else if (w >= kInstallButtonIdBase && w - kInstallButtonIdBase < rows)
        ::PostMessageW(parent, WM_LIST_INSTALL_CLICK, w, lp);
}

// ---- list-view operations -------------------------------------------------

int CListCtrlEx::InsertColumn(int column, const std::wstring& heading, int format, int width) {
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = format;
    col.cx = Scaled(width);
    col.pszText = const_cast<wchar_t*>(heading.c_str());
    col.iSubItem = column;
    return static_cast<int>(
        ::SendMessageW(m_list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&col)));
}

void CListCtrlEx::SetColumnWidth(int column, int width) {
    ::SendMessageW(m_list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(Scaled(width), 0));
}

int CListCtrlEx::Scaled(int units) const { return ScaleToDpi(units, WindowDpi(m_list)); }

bool CListCtrlEx::DeleteColumn(int column) {
    return ::SendMessageW(m_list, LVM_DELETECOLUMN, column, 0) != 0;
}

int CListCtrlEx::GetColumnCount() const {
    const HWND header = GetHeaderCtrl();
    return header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

HWND CListCtrlEx::GetHeaderCtrl() const {
    return reinterpret_cast<HWND>(::SendMessageW(m_list, LVM_GETHEADER, 0, 0));
}

int CListCtrlEx::InsertItem(int row, const std::wstring& text) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    return static_cast<int>(
        ::SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool CListCtrlEx::SetItemText(int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    return ::SendMessageW(m_list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)) != 0;
}

std::wstring CListCtrlEx::GetItemText(int row, int column) const {
    wchar_t buffer[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(std::size(buffer));
    const auto n = ::SendMessageW(m_list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return std::wstring(buffer, static_cast<size_t>(n));
}

int CListCtrlEx::GetItemCount() const {
    return static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
}

bool CListCtrlEx::DeleteAllItems() { return ::SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0) != 0; }

// The state image stays on the items when the check-box style is removed, so
// rows ticked while browsing still read as ticked in install mode.
bool CListCtrlEx::GetCheck(int row) const {
    const auto state =
        static_cast<UINT>(::SendMessageW(m_list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return state == kCheckedStateImage;
}

void CListCtrlEx::SetCheck(int row, bool checked) {
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    ::SendMessageW(m_list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void CListCtrlEx::SetExtendedStyle(DWORD styles) {
    ::SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, styles);
}

void CListCtrlEx::SetImageList(HIMAGELIST images) {
    ::SendMessageW(m_list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

void CListCtrlEx::SetRowHeight(int height) {
    const int pixels = Scaled(height);
    if (!m_rowHeightImages || m_rowHeight != pixels) {
        const HIMAGELIST images = ::ImageList_Create(1, pixels, ILC_COLOR, 1, 0);
        if (!images) return;
        SetImageList(images);
        if (m_rowHeightImages) ::ImageList_Destroy(m_rowHeightImages);
        m_rowHeightImages = images;
        m_rowHeight = pixels;
        return;
    }
    SetImageList(m_rowHeightImages);
}

// ---- per-row values ---------------------------------------------------------

HRESULT CListCtrlEx::RowValues::Allocate(int rows) {
    if (values_) return S_OK;
    try {
        values_.emplace(static_cast<size_t>(rows > 0 ? rows : 0), 0);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CListCtrlEx::RowValues::Set(int row, std::int32_t value, int rowsIfAbsent) {
    const HRESULT hr = Allocate(rowsIfAbsent);
    if (FAILED(hr)) return hr;
    if (!ValidIndex(row, values_->size())) return E_INVALIDARG;
    (*values_)[row] = value;
    return S_OK;
}

bool CListCtrlEx::RowValues::Get(int row, int& value) const {
    if (!values_ || !ValidIndex(row, values_->size())) return false;
    value = (*values_)[row];
    return true;
}

HRESULT CListCtrlEx::SetRowProgress(int row, int percent) {
    return m_rowProgress.Set(row, percent, GetItemCount());
}

bool CListCtrlEx::RowProgress(int row, int& percent) const {
    return m_rowProgress.Get(row, percent);
}

HRESULT CListCtrlEx::SetRowButtonState(int row, std::uint8_t state) {
    return m_rowButtonState.Set(row, state, GetItemCount());
}

bool CListCtrlEx::RowButtonState(int row, int& state) const {
    return m_rowButtonState.Get(row, state);
}

// ---- progress bars ------------------------------------------------------------

HRESULT CListCtrlEx::CreateProgressBars() {
    DestroyProgressBars();
    const int rows = GetItemCount();
    HRESULT hr = m_rowProgress.Allocate(rows);
    if (FAILED(hr)) return hr;
    for (int row = 0; row < rows; ++row) {
        hr = CreateEmbedded(Kind::ProgressBar, row, {}, false, m_progressBars);
        if (FAILED(hr)) return hr;
        int percent = 0;
        RowProgress(row, percent);
        ::SendMessageW(m_progressBars.back().wnd.get(), PBM_SETPOS, percent, 0);
    }
    return S_OK;
}

void CListCtrlEx::ShowProgressBars() {
    for (size_t k = 0; k < m_progressBars.size(); ++k) {
        Embedded& bar = m_progressBars[k];
        int percent = 0;
        if (RowProgress(bar.row, percent)) ::SendMessageW(bar.wnd.get(), PBM_SETPOS, percent, 0);
        if (GetCheck(bar.row)) {
            bar.wanted = true;
            Place(Kind::ProgressBar, bar);
        }
    }
}

HRESULT CListCtrlEx::UpdateRowProgress(int row) {
    int percent = 0;
    if (!ValidIndex(row, m_progressBars.size()) || !RowProgress(row, percent)) return E_INVALIDARG;
    Embedded& bar = m_progressBars[row];
    ::SendMessageW(bar.wnd.get(), PBM_SETPOS, percent, 0);
    if (GetCheck(row) && !bar.wanted) {
        bar.wanted = true;
        Place(Kind::ProgressBar, bar);
    }
    return S_OK;
}

void CListCtrlEx::DestroyProgressBars() { DestroyAll(m_progressBars); }

void CListCtrlEx::ShowRowProgress(int row, int percent) {
    const HWND list = m_list;
    if (!list) return;
    if (::GetWindowThreadProcessId(list, nullptr) == ::GetCurrentThreadId())
        ApplyRowProgress(row, percent);
    else  // never wait for the list's thread: it may be waiting for this one
        ::PostMessageW(list, WM_LIST_ROW_PROGRESS, static_cast<WPARAM>(row), percent);
}

void CListCtrlEx::ApplyRowProgress(int row, int percent) {
    if (FAILED(SetRowProgress(row, percent))) return;
    UpdateRowProgress(row);  // a row without a bar keeps only its value
    if (ValidIndex(row, static_cast<size_t>(GetItemCount()))) {
        wchar_t text[32];
        std::swprintf(text, std::size(text), L" %d %%", percent);
        SetItemText(row, 4, text);
    }
}

// ---- buttons -------------------------------------------------------------------

HRESULT CListCtrlEx::CreateInstallButtons(const std::wstring& executeText,
                                          const std::wstring& installText) {
    DestroyInstallButtons();
    const int rows = GetItemCount();
    HRESULT hr = m_rowButtonState.Allocate(rows);
    if (FAILED(hr)) return hr;
    for (int row = 0; row < rows; ++row) {
        int state = kRowButtonHidden;
        RowButtonState(row, state);
        const std::wstring& text = state == kRowButtonExecute ? executeText : installText;
        hr = CreateEmbedded(Kind::InstallButton, row, text, false, m_installButtons);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void CListCtrlEx::ShowInstallButtons() {
    for (Embedded& button : m_installButtons) {
        int state = kRowButtonHidden;
        RowButtonState(button.row, state);
        button.wanted = state != kRowButtonHidden;
        Place(Kind::InstallButton, button);
    }
}

void CListCtrlEx::DestroyInstallButtons() { DestroyAll(m_installButtons); }

HRESULT CListCtrlEx::AddViewButton(int row, const std::wstring& text) {
    return CreateEmbedded(Kind::ViewButton, row, text, true, m_viewButtons);
}

HRESULT CListCtrlEx::AddRunButton(int row, const std::wstring& text) {
    return CreateEmbedded(Kind::RunButton, row, text, true, m_runButtons);
}

void CListCtrlEx::DestroyViewButtons() { DestroyAll(m_viewButtons); }

void CListCtrlEx::DestroyRunButtons() { DestroyAll(m_runButtons); }

// ---- embedded controls ---------------------------------------------------------

HRESULT CListCtrlEx::CreateEmbedded(Kind kind, int row, const std::wstring& text, bool wanted,
                                    std::vector<Embedded>& into) {
    if (!m_list || row < 0) return E_INVALIDARG;
    try {
        into.reserve(into.size() + 1);
        const bool lazy = kind == Kind::ViewButton || kind == Kind::RunButton;
        into.push_back(Embedded{win::Window(), row, wanted, lazy ? text : std::wstring()});
        if (!lazy) {
            into.back().wnd.reset(CreateControl(kind, row, text));
            if (!into.back().wnd) {
                into.pop_back();
                return E_OUTOFMEMORY;
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    Place(kind, into.back());
    return S_OK;
}

HWND CListCtrlEx::CreateControl(Kind kind, int row, const std::wstring& text) const {
    const HWND list = m_list;
    int idBase = kProgressBarIdBase;
    const wchar_t* windowClass = PROGRESS_CLASSW;
    DWORD style = WS_CHILD;
    switch (kind) {
    case Kind::ProgressBar:
        break;
    case Kind::InstallButton:
        idBase = kInstallButtonIdBase;
        break;
    case Kind::ViewButton:
        idBase = kViewButtonIdBase;
        break;
    case Kind::RunButton:
        idBase = kRunButtonIdBase;
        break;
    }
    if (kind != Kind::ProgressBar) {
        windowClass = WC_BUTTONW;
        style |= BS_PUSHBUTTON;
    }
    const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(list, GWLP_HINSTANCE));
    return ::CreateWindowExW(0, windowClass, text.c_str(), style, 0, 0, 0, 0, list,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(idBase + row)),
                             instance, nullptr);
}

int CListCtrlEx::ColumnOf(Kind kind) const {
    switch (kind) {
    case Kind::ProgressBar:
        return m_progressColumn;
    case Kind::InstallButton:
        return m_buttonColumn;
    case Kind::ViewButton:
        return 3;
    case Kind::RunButton:
        return 4;
    }
    return 0;
}

// The cell of the row in the control's column, 6 units narrower than the
// column (2 in from its left edge) and inset from the row's top and bottom.
bool CListCtrlEx::CellRect(Kind kind, int row, RECT& rect) const {
    RECT header{};
    const HWND headerCtrl = GetHeaderCtrl();
    if (!headerCtrl || !::SendMessageW(headerCtrl, HDM_GETITEMRECT, ColumnOf(kind),
                                       reinterpret_cast<LPARAM>(&header)))
        return false;
    RECT item{};
    item.left = LVIR_BOUNDS;
    if (!::SendMessageW(m_list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item)))
        return false;
    const int inset = Scaled(kind == Kind::ProgressBar ? kProgressBarInset : kButtonInset);
    rect.left = item.left + header.left + Scaled(2);
    rect.right = item.left + header.right - Scaled(4);
    rect.top = item.top + inset;
    rect.bottom = item.bottom - inset;
    return true;
}

// Moves the control over its cell and shows it only when it is wanted and its
// row lies below the header and within the list.
void CListCtrlEx::Place(Kind kind, Embedded& control) {
    if (m_batching) return;  // placed at the batch's end
    RECT rect{};
    const bool placed = CellRect(kind, control.row, rect);
    const bool inView = placed && rect.top >= m_laidOut.headerBottom &&
                        rect.top < m_laidOut.client.bottom && rect.right > rect.left;
    const bool show = control.wanted && inView;
    if (!control.wnd) {
        if (!show) return;
        control.wnd.reset(CreateControl(kind, control.row, control.text));
        if (!control.wnd) return;
        control.text.clear();
    }
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    if (!placed) flags |= SWP_NOMOVE | SWP_NOSIZE;
    ::SetWindowPos(control.wnd.get(), nullptr, rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top, flags);
}

CListCtrlEx::LayoutKey CListCtrlEx::CurrentLayout() const {
    LayoutKey key;
    const HWND list = m_list;
    if (!list) return key;
    ::GetClientRect(list, &key.client);
    key.rows = GetItemCount();
    if (key.rows > 0) {
        key.firstRow.left = LVIR_BOUNDS;
        ::SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&key.firstRow));
    }
    const HWND header = GetHeaderCtrl();
    if (header && ::IsWindowVisible(header)) {
        RECT rect{};
        ::GetWindowRect(header, &rect);
        ::MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&rect), 2);
        key.headerBottom = rect.bottom;
        const int columns = GetColumnCount();
        for (int c = 0; c < columns && c < static_cast<int>(std::size(key.columnEdges)); ++c) {
            RECT item{};
            ::SendMessageW(header, HDM_GETITEMRECT, c, reinterpret_cast<LPARAM>(&item));
            key.columnEdges[c] = item.right;
        }
    }
    return key;
}

CListCtrlEx::Batch::Batch(CListCtrlEx& list) : list_(list) {
    list_.m_batching = true;
    ::SendMessageW(list_.m_list, WM_SETREDRAW, FALSE, 0);
}

CListCtrlEx::Batch::~Batch() {
    const HWND list = list_.m_list;
    // Drawing comes back first (the scroll bar with it, which narrows the
    // rows); the controls are then placed once.
    if (list) ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    list_.m_batching = false;
    if (!list) return;
    list_.m_laidOut = list_.CurrentLayout();
    list_.Relayout();
    ::InvalidateRect(list, nullptr, TRUE);
}

void CListCtrlEx::RelayoutIfMoved() {
    if (m_relayingOut || m_batching || !m_list) return;
    m_relayingOut = true;
    const LayoutKey now = CurrentLayout();
    if (!(now == m_laidOut)) {
        m_laidOut = now;
        Relayout();
    }
    m_relayingOut = false;
}

void CListCtrlEx::Relayout() {
    for (Embedded& c : m_progressBars) Place(Kind::ProgressBar, c);
    for (Embedded& c : m_installButtons) Place(Kind::InstallButton, c);
    for (Embedded& c : m_viewButtons) Place(Kind::ViewButton, c);
    for (Embedded& c : m_runButtons) Place(Kind::RunButton, c);
}

void CListCtrlEx::DestroyAll(std::vector<Embedded>& controls) noexcept {
    for (Embedded& c : controls) c.wnd.reset();  // first entry first
    controls.clear();
}

void CListCtrlEx::DestroyControls() noexcept {
    DestroyAll(m_progressBars);
    DestroyAll(m_installButtons);
    DestroyAll(m_viewButtons);
    DestroyAll(m_runButtons);
}

}  // namespace pelmora
