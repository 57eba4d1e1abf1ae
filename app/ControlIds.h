#pragma once
// Control ids of the desktop's dialogs and main window, in one place for the
// dialogs, their tests and the screenshot tools. A control is found by its
// object name "ctl<id>" (SetControlId, ControlName). The parameters and the
// processing dialogs share the ids of the fields they both show.
//
// IDOK (1) and IDCANCEL (2) are the dialogs' OK and Cancel buttons as well as
// their results; they come from the document commands' header.

#include "document/DocumentCommands.h"

// Compression parameters (130) and processing (131).
constexpr int IDC_THRESHOLD_SLIDER = 1003;
constexpr int IDC_QUANTISER_SLIDER = 1004;
constexpr int IDC_THRESHOLD_EDIT = 1005;
constexpr int IDC_QUANTISER_EDIT = 1006;
constexpr int IDC_FRAMES_LABEL = 1007;
constexpr int IDC_THRESHOLD_LABEL = 1008;
constexpr int IDC_QUANTISER_LABEL = 1009;
constexpr int IDC_FRAMES_SLIDER = 1010;
constexpr int IDC_FRAMES_EDIT = 1011;
constexpr int IDC_PROGRESS_LABEL = 1012;
constexpr int IDC_PROGRESS_BAR = 1013;
constexpr int IDC_START = 1015;
constexpr int IDC_FRAMES_DONE_EDIT = 1016;

// QCIF stream viewer (135).
constexpr int IDC_VIEWER_LOOP = 1020;
constexpr int IDC_VIEWER_COUNT_EDIT = 1022;
constexpr int IDC_VIEWER_FRAME_EDIT = 1023;
constexpr int IDC_VIEWER_PAUSE = 1024;
constexpr int IDC_VIEWER_START = 1027;
constexpr int IDC_VIEWER_SLIDER = 1029;

// About box (100).
constexpr int IDC_ABOUT_BANNER = 1030;

// Frame Comparison (166).
constexpr int IDC_COMPARE_FRAME_EDIT = 1032;
constexpr int IDC_COMPARE_SPIN = 1035;
constexpr int IDC_RMSE_LABEL = 1037;
constexpr int IDC_RMSE_EDIT = 1038;
constexpr int IDC_PSNR_LABEL = 1039;
constexpr int IDC_PSNR_EDIT = 1040;
constexpr int IDC_COMPARE_FRAME_LABEL = 1041;
constexpr int IDC_TOTAL_FRAMES_LABEL = 1042;
constexpr int IDC_TOTAL_FRAMES_EDIT = 1043;
constexpr int IDC_DB_LABEL = 1044;

// The main window's toolbar and status bar.
constexpr int AFX_IDW_TOOLBAR = 0xE800;
constexpr int AFX_IDW_STATUS_BAR = 0xE801;
