// The install-and-update workflow of the main window: the list in browse
// mode, Start and Cancel, and the list's row buttons. Runs on the window
// thread, which owns the program table and the list; the package worker
// gets what it needs at Start and reports back by posted messages.
#pragma once
#include "app/settings.h"
#include "catalogue/program_record.h"
#include "ui/list_ctrl_ex_win.h"

#include <windows.h>

namespace pelmora {

// The main window's controls the workflow switches between the modes (borrowed).
struct WorkflowWindow {
    HWND window = nullptr;  // the main window: message target, owner of message boxes
    HWND settingsButton = nullptr;
    HWND startButton = nullptr;
    HWND cancelButton = nullptr;  // its caption is its window text
    HWND picture = nullptr;
};

class InstallWorkflow {
public:
    // All three are the main window's and outlive this object.
    InstallWorkflow(ProgramTable& table, CListCtrlEx& list, const Settings& settings) noexcept
        : table_(table), list_(list), settings_(settings) {}
    ~InstallWorkflow();
    InstallWorkflow(const InstallWorkflow&) = delete;
    InstallWorkflow& operator=(const InstallWorkflow&) = delete;

    void Bind(const WorkflowWindow& window) noexcept { window_ = window; }

    // Browse mode: columns, rows from the table, View and Run buttons.
    void FillList();
    void OnStart();   // command 1004
    void OnCancel();  // command 1010
    // The list's notifications and row-button messages, and the worker's
    // reports. True when handled; `result` is the message's answer.
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // Ends the install run, if any, without waiting on anything that needs
    // the window thread. Safe to call more than once.
    void Shutdown() noexcept;

    bool InstallActive() const noexcept { return installActive_; }

private:
    ProgramTable& table_;
    CListCtrlEx& list_;
    const Settings& settings_;
    WorkflowWindow window_;
    bool installActive_ = false;
};

}  // namespace pelmora
