// For Windows: the numbers of the update dialog's resources, shared by
// updater.rc and the Win32 front-end.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_UPDATER_DIALOG 102
#define IDR_MAINFRAME 128

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDC_STATUS_TEXT 1000
#define IDC_FILE_PROGRESS 1001
#define IDC_UPDATE 1002
#define IDC_TOTAL_PROGRESS 1003
#define IDC_CUR_VERSION 1004
#define IDC_NEW_VERSION 1005

// The window-menu command of the About item.
#define IDM_ABOUTBOX 0x0010
