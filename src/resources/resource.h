// Resource and command identifiers shared by the resource script and the code: constants
// only, used on the window's thread.
#pragma once

#define IDD_ABOUT 100
#define IDD_MAIN 131
#define IDR_MAINMENU 132
#define IDB_BUTTONS 133
#define IDD_DETAILS 134
#define IDR_ACCEL 135

#define IDC_REWIND 800
#define IDC_FORWARD 801
#define IDC_PLAY 802
#define IDC_STOP 803
#define IDC_RECORD 804

#define IDC_LENGTH 1009
#define IDC_POSITION 1010
#define IDC_DATASIZE_LABEL 1012
#define IDC_DATASIZE 1013
#define IDC_PROP_NAME 1014
#define IDC_PROP_LENGTH 1015
#define IDC_PROP_SIZE 1016
#define IDC_PROP_FORMAT 1017
#define IDC_PROP_ATTRIBUTES 1018

#define IDM_RECENT_BASE 8000
// The commands of the recent files: IDM_RECENT_BASE + 1 to IDM_RECENT_BASE + IDM_RECENT_COUNT.
#define IDM_RECENT_COUNT 4
#define IDM_PROPERTIES 32773
#define IDM_EXIT 32774
#define IDM_OPEN 32775
#define IDM_NEW 32776
#define IDM_ABOUT 32777

#define IDT_RECORD 1
#define IDT_PLAY 2
