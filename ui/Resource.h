#pragma once

// Identifiers of the dialogs, the menu commands and the controls. The dialog ids name the
// window of each dialog; the control ids are the wxWindow ids of the controls.

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_MAIN = 102;
constexpr int IDD_HISTORY = 103;

// The context-menu command that opens the About box; OnSysCommand accepts 0x10 to 0x1F.
constexpr unsigned IDM_ABOUTBOX = 0x10;
// The context-menu command that shows the run history.
constexpr int IDM_HISTORY = 0x30;

constexpr int IDC_START = 1000;
constexpr int IDC_LOG = 1001;
constexpr int IDC_PATH = 1002;
constexpr int IDC_BROWSE = 1003;
constexpr int IDC_HISTORY = 1004;  // the run history box's list
