// Resource ids of the Windows dialog program (zelvio-gui.rc), shared by the resource script and
// the code. The control ids are the form's (frontend/converter_form.h); converter_window.cpp
// checks at compile time that both agree.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_CONVERTER 102
#define IDI_ZELVIO 128

// The system menu's about entry; any command whose value AND 0xFFF0 equals it opens the box.
#define IDM_ABOUTBOX 0x0010

// The converter dialog's controls.
#define IDC_INPUT_PATH 1000
#define IDC_BROWSE_INPUT 1001
#define IDC_TITLE 1002
#define IDC_DESCRIPTION 1003
#define IDC_DATABASE_PATH 1004
#define IDC_BROWSE_DATABASE 1005
#define IDC_VOICE_ACTIVITY 1006
#define IDC_SPLIT 1007
#define IDC_EIGHT_BITS 1008
#define IDC_FOUR_BITS 1009
#define IDC_THREE_BITS 1010
#define IDC_TWO_BITS 1011
#define IDC_BEST_QUALITY 1012
#define IDC_PROGRESS 1013
#define IDC_PROGRESS_TEXT 1014

// The about box's four further labels, filled in when it opens (version and build).
#define IDC_ABOUT_LINE_1 1101
#define IDC_ABOUT_LINE_2 1102
#define IDC_ABOUT_LINE_3 1103
#define IDC_ABOUT_LINE_4 1104

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
