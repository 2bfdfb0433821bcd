// Identifiers of the controls of the program, patient and cephalometric pages (templates 159, 160 and
// 25001), shared by the module's .rc and the pages.
#ifndef LUMEN_PAGE_IDS_H
#define LUMEN_PAGE_IDS_H

// Program page (159).
#define IDC_BUTTON_ATMDROITE 1036
#define IDC_BUTTON_ATMGAUCHE 1037
#define IDC_BUTTON_ATMX4 1038
#define IDC_BUTTON_INCISIVE 1032
#define IDC_BUTTON_MOLAIREDROITE 1033
#define IDC_BUTTON_MOLAIREGAUCHE 1034
#define IDC_BUTTON_SINUS 1035
#define IDC_CEPHALO 1018
#define IDC_PAGE_STATIC_R 1103

// Patient page (160).
#define IDC_PATIENTADULTE 1011
#define IDC_PATIENTENFANT 1012
#define IDC_PATIENTMINCE 1013
#define IDC_PATIENTNORMAL 1014
#define IDC_PATIENTGROS 1015
#define IDC_TRAIT 1016

// Cephalometric page (25001).
#define IDC_BUTTON_LATERAL 1119
#define IDC_BUTTON_AP 1111
#define IDC_BUTTON_PA 1114
#define IDC_BUTTON_OBLIQUE 1113
#define IDC_BUTTON_SV 1115
#define IDC_BUTTON_CARPUS 1112
#define IDC_BUTTON_OBLIQUEMOINS 1117
#define IDC_BUTTON_ANGLE 1118
#define IDC_BUTTON_OBLIQUEPLUS 1116

#endif
