// Identifiers of dialogs, icons, bitmaps and controls.
#pragma once

#define IDI_PELMORA 128

#define IDD_ABOUTBOX 100
#define IDD_PELMORA_DIALOG 102
#define IDD_CONFIG_DIALOG 129
#define IDD_SPLASH 153

// Main window controls
#define IDC_BTN_MINIMUM 1001
#define IDC_BTN_CLOSE 1002
#define IDC_BTN_SETTING 1003
#define IDC_BTN_START 1004
#define IDC_PROGRAM_LIST 1007
#define IDC_BTN_CANCEL 1010
#define IDC_PROGRAM_IMAGE 1033

#define IDM_ABOUTBOX 0x0010
