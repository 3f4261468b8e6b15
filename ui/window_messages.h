// User messages posted to the main window. Kept above WM_USER+2, whose
// values are the dialog manager's DM_* messages.
#pragma once
#include <windows.h>

#define WM_LIST_INSTALL_CLICK 6024      // wParam: 2024 + row
#define WM_PROGRAM_STATUS_REFRESH 6025  // wParam: a catalogue id
#define WM_LIST_VIEW_CLICK 6026         // wParam: row
#define WM_LIST_RUN_CLICK 6027          // wParam: row

// The package worker's reports are waiting in its run's queue; wParam: the
// run number (reports of any run but the window's current one are dropped).
#define WM_PACKAGE_WORKER_REPORT (WM_APP + 0x125)

// Install's re-check of a row's installer has ended; lParam: the check
// (app/main_window/installer_check_win.h), owned by the message.
#define WM_INSTALLER_CHECKED (WM_APP + 0x126)

// The pictures fetched beside the window have news (download/sync/
// program_image_sync_win.h, BackgroundPictureSync::Take).
#define WM_PROGRAM_PICTURES (WM_APP + 0x127)
