// SPDX-License-Identifier: MIT
// Resource and control identifiers of the dialog program, shared by every view of its dialogs
// and by the Windows resource script.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_QUILLBOX_DIALOG 102
#define IDD_OPTIONS 103
#define IDS_OPTIONS 104
#define IDR_MAINFRAME 128

#define IDC_CONTACT_FOLDER 1000
#define IDC_BROWSE_CONTACTS 1001
#define IDC_MESSAGE_FOLDER 1002
#define IDC_OUTPUT_FILE 1003
#define IDC_SORT_ORDER 1004
#define IDC_BROWSE_MESSAGES 1005
#define IDC_BROWSE_OUTPUT 1006
#define IDC_RECURSE_CONTACTS 1007
#define IDC_RECURSE_MESSAGES 1008
#define IDC_HTML 1009
#define IDC_GENERATE 1010

// The options dialog's.
#define IDC_MODERN 1020
#define IDC_ENCODING 1021
#define IDC_PAGE 1022
#define IDC_SINCE 1023
#define IDC_UNTIL 1024
#define IDC_DEDUPE 1025
#define IDC_TIME_ZONE 1026
#define IDC_SPLIT 1027

#define IDC_STATIC (-1)
#define IDOK 1
#define IDCANCEL 2

// The system-menu commands of the About and the Options items.
#define IDM_ABOUTBOX 0x0010
#define IDM_OPTIONS 0x0020

// The resource type of a dialog's control initialisation data.
#ifndef RT_DLGINIT
#define RT_DLGINIT 240
#endif
