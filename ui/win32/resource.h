// Resource and control ids of the installer's window on Windows, shared by
// the resource script and the code.
#pragma once

#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 130
#define IDC_PROGRESS 1000
#define IDC_LOG 1004
#define IDC_PORT_BOX 1005
