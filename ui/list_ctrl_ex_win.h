// The program list: a report-view list-view with child controls laid over its
// cells (a progress bar and an install button per row while installing, View
// and Run buttons while browsing). Clicks on those buttons become messages
// posted to the list's parent.
//
// Every row has its own controls, and they follow their row when the list
// scrolls; a control whose row is out of view (or under the header) is hidden
// and comes back as its state says once the row is shown again. A row's View
// and Run buttons are windows only from the first time their row is in view:
// most rows of a long list are never scrolled to, and a child window costs
// several milliseconds under Wine.
//
// Widths and heights given to the list are in 96-dpi units and scale with
// the list's DPI.
#pragma once
#include "catalogue/model/program_record.h"
#include "win/handles_win.h"

#include <commctrl.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// Identifiers of the embedded children: base + row.
constexpr int kProgressBarIdBase = 1024;
constexpr int kInstallButtonIdBase = 2024;
constexpr int kViewButtonIdBase = 3024;
constexpr int kRunButtonIdBase = 3044;
// Each range holds one id per row of the program table.
static_assert(kInstallButtonIdBase - kProgressBarIdBase >= kProgramTableSize);
static_assert(kViewButtonIdBase - kInstallButtonIdBase >= kProgramTableSize);
static_assert(kRunButtonIdBase - kViewButtonIdBase >= kProgramTableSize);

// What a row's install button shows (SetRowButtonState).
constexpr std::uint8_t kRowButtonHidden = 0;
constexpr std::uint8_t kRowButtonInstall = 1;   // "Install"
constexpr std::uint8_t kRowButtonExecute = 2;   // "Execute"

// Carries (row, percent) of ShowRowProgress from a foreign thread to the list.
constexpr UINT WM_LIST_ROW_PROGRESS = WM_APP + 0x124;

class CListCtrlEx {
  public:
    CListCtrlEx() = default;
    ~CListCtrlEx();
    CListCtrlEx(const CListCtrlEx&) = delete;
    CListCtrlEx& operator=(const CListCtrlEx&) = delete;

    // Binds the object to an existing report-view list (borrowed: its owner
    // destroys it). The list's messages pass through the object until it is
    // destroyed or detached.
    bool Attach(HWND list);
    void Detach() noexcept;
    HWND hwnd() const noexcept { return m_list; }

    // Thin list-view operations for the main window.
    int InsertColumn(int column, const std::wstring& heading, int format, int width);
    void SetColumnWidth(int column, int width);
    bool DeleteColumn(int column);
    int GetColumnCount() const;
    HWND GetHeaderCtrl() const;
    int InsertItem(int row, const std::wstring& text);
    bool SetItemText(int row, int column, const std::wstring& text);
    std::wstring GetItemText(int row, int column) const;
    int GetItemCount() const;
    bool DeleteAllItems();
    bool GetCheck(int row) const;
    void SetCheck(int row, bool checked);
    void SetExtendedStyle(DWORD styles);
    void SetImageList(HIMAGELIST images);  // small images; borrowed
    // Rows `height` high, through a 1-pixel-wide image list that this object
    // owns: the list shares it (LVS_SHAREIMAGELISTS) and never destroys it,
    // so each list has a live one for as long as its wrapper exists.
    void SetRowHeight(int height);

    // The columns that carry the progress bars and the install buttons.
    void SetEmbeddedColumns(int progressColumn, int buttonColumn) noexcept {
        m_progressColumn = progressColumn;
        m_buttonColumn = buttonColumn;
    }
    int ProgressColumn() const noexcept { return m_progressColumn; }
    int ButtonColumn() const noexcept { return m_buttonColumn; }

    // Progress bars, one per row, hidden, at the rows' stored progress.
    HRESULT CreateProgressBars();
    // Sets every bar to its row's progress and shows those of ticked rows.
    void ShowProgressBars();
    // Sets the row's bar to its stored progress; shows it when the row is ticked.
    HRESULT UpdateRowProgress(int row);
    // Stores the row's progress; does not touch the bar.
    HRESULT SetRowProgress(int row, int percent);
    bool RowProgress(int row, int& percent) const;
    void DestroyProgressBars();

    // One of kRowButtonHidden, kRowButtonInstall, kRowButtonExecute.
    HRESULT SetRowButtonState(int row, std::uint8_t state);
    bool RowButtonState(int row, int& state) const;
    // Install buttons, one per row, hidden; kRowButtonExecute shows
    // `executeText`, any other state `installText`.
    HRESULT CreateInstallButtons(const std::wstring& executeText, const std::wstring& installText);
    // Shows the install buttons of rows not kRowButtonHidden, hides the rest.
    void ShowInstallButtons();
    void DestroyInstallButtons();

    HRESULT AddViewButton(int row, const std::wstring& text);
    HRESULT AddRunButton(int row, const std::wstring& text);
    void DestroyViewButtons();
    void DestroyRunButtons();

    // Many changes at once (filling the list, switching modes): while one
    // lives the list neither repaints nor moves its controls; at its end
    // every control is placed once and the list repainted. Without it each
    // inserted row moves every control already made: under Wine a fill of
    // 20 rows took 100-180 ms instead of 5.
    class Batch {
      public:
        explicit Batch(CListCtrlEx& list);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

      private:
        CListCtrlEx& list_;
    };

    // Stores the row's progress, refreshes its bar and writes " %d %%" into
    // column 4. Callable from any thread: from another one it posts
    // WM_LIST_ROW_PROGRESS and returns at once, without waiting for the list.
    void ShowRowProgress(int row, int percent);

  private:
    enum class Kind { ProgressBar, InstallButton, ViewButton, RunButton };
    struct Embedded {
        win::Window wnd;  // empty until first shown, for View and Run buttons
        int row = 0;
        bool wanted = false;  // shown when its row is in view
        std::wstring text;    // of a window still to be made
    };
    // One value per row, absent until first used; the row count then bounds
    // every later index.
    class RowValues {
      public:
        HRESULT Allocate(int rows);
        HRESULT Set(int row, std::int32_t value, int rowsIfAbsent);
        bool Get(int row, int& value) const;
        void Reset() noexcept { values_.reset(); }

      private:
        std::optional<std::vector<std::int32_t>> values_;
    };
    // Where the controls were last laid out; a change means a relayout.
    struct LayoutKey {
        RECT firstRow{};
        RECT client{};
        int headerBottom = 0;
        int rows = 0;
        int columnEdges[8]{};
        bool operator==(const LayoutKey& o) const;
    };

    static LRESULT CALLBACK SubclassProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                         DWORD_PTR self) noexcept;
    LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    void ForwardCommand(WPARAM wp, LPARAM lp);
    void ApplyRowProgress(int row, int percent);

    HRESULT CreateEmbedded(Kind kind, int row, const std::wstring& text, bool wanted,
                           std::vector<Embedded>& into);
    HWND CreateControl(Kind kind, int row, const std::wstring& text) const;
    int Scaled(int units) const;
    int ColumnOf(Kind kind) const;
    bool CellRect(Kind kind, int row, RECT& rect) const;
    void Place(Kind kind, Embedded& control);
    void RelayoutIfMoved();
    void Relayout();
    LayoutKey CurrentLayout() const;
    static void DestroyAll(std::vector<Embedded>& controls) noexcept;
    void DestroyControls() noexcept;

    std::vector<Embedded> m_progressBars;
    std::vector<Embedded> m_installButtons;
    std::vector<Embedded> m_viewButtons;
    std::vector<Embedded> m_runButtons;
    RowValues m_rowProgress;
    RowValues m_rowButtonState;

    int m_progressColumn = 0;  // column of the progress bars
    int m_buttonColumn = 0;    // column of the install buttons
    std::atomic<HWND> m_list{nullptr};  // borrowed; read by ShowRowProgress on any thread
    HIMAGELIST m_rowHeightImages = nullptr;  // owned
    int m_rowHeight = 0;
    LayoutKey m_laidOut{};
    bool m_relayingOut = false;
    bool m_batching = false;  // a Batch lives
};

}  // namespace pelmora
