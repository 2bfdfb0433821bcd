// Identifiers of the about box and the system information dialog (templates and their controls).
#ifndef LUMEN_ABOUT_DIALOG_IDS_H
#define LUMEN_ABOUT_DIALOG_IDS_H

#define IDD_ABOUT 129
#define IDC_ABOUT_FIRMWARE_LABEL 1002
#define IDC_ABOUT_SOFTWARE_LABEL 1003
#define IDC_ABOUT_SOFTWARE 1104
#define IDC_ABOUT_FIRMWARE 1105

#define IDD_SYSTEM_INFO 422
#define IDC_SYSINFO_TEXT 24000
#define IDC_SYSINFO_PATH 24002
#define IDC_SYSINFO_SEND 24003
#define IDC_SYSINFO_PRINT 24004

#endif
