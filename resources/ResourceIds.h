// Identifiers of the module's own resources (dialog templates, controls, bitmaps, icon).
#ifndef LUMEN_RESOURCE_IDS_H
#define LUMEN_RESOURCE_IDS_H

#define IDD_PANEL 25000
#define IDD_PAGE_PROGRAM 159
#define IDD_PAGE_PATIENT 160
#define IDD_PAGE_PARAMETERS 161
#define IDD_PAGE_CEPHALOMETRIC 25001
#define IDC_PAGE_AREA 1010

#define IDB_PANEL_BACKGROUND 129
#define IDI_PANEL 130
#define IDB_PAGE_BACKGROUND 158
#define IDB_BACKDROP 283
#define IDB_PANEL_MASK 284

#endif
