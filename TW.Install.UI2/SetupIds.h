#pragma once
// Resource and control ids of the setup program (shared with its .rc).
#define IDD_FRAME 136
#define IDD_INSTALLING 137
#define IDD_FINISHED 140
#define IDI_SETUP 131

#define IDC_PAGE_AREA 1007
#define IDC_PROGRESS 1011
#define IDC_STATUS 1012
#define IDC_INSTALL_TITLE 1015
#define IDC_INSTALL_TEXT 1016
#define IDC_LAST_TITLE 1017
#define IDC_LAST_TEXT 1018
