// Identifiers of the program's resources, shared by the resource script and the code; plain
// defines, since the resource compiler reads this file too.
#pragma once

// Dialog templates, icon and version.
#define IDD_ABOUTBOX 100
#define IDD_TOLVARENQUISTA_DIALOG 102
#define IDD_VERIFY_DISC 104
#define IDR_MAINFRAME 128

// Controls of the About box.
#define IDC_ABOUT_LABEL 1009

// Controls of the verification dialog (its close button is IDCANCEL).
#define IDC_VERIFY_REPORT 1020
#define IDC_VERIFY_PROGRESS 1021
#define IDC_VERIFY_FINDINGS 1022

// Controls of the main dialog.
#define IDC_OUTPUT_FOLDER 1000
#define IDC_BROWSE_OUTPUT 1001
#define IDC_CONVERT 1002
#define IDC_STATUS_TEXT 1003
#define IDC_FILE_LIST 1010
#define IDC_SPLIT_SIZE 1011
#define IDC_INPUT_FOLDER 1012
#define IDC_BROWSE_INPUT 1013
#define IDC_SELECT_ALL 1014
#define IDC_DESELECT_ALL 1015
#define IDC_FILE_GROUP 1016
#define IDC_PROGRESS 1124
#define IDC_STATUS_BAR 0xE801

// The About item of the system menu (string 301 is its text) and the verification of a disc below it
// (string 302).
#define IDM_ABOUTBOX 0x0010
#define IDM_VERIFY_DISC 0x0020
#define IDS_VERIFY_DISC 302
