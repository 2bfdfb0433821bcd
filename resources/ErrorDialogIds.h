// Identifiers of the unit error dialogs and the details viewer (templates and their controls).
#ifndef LUMEN_ERROR_DIALOG_IDS_H
#define LUMEN_ERROR_DIALOG_IDS_H

#define IDD_ERR_ETALFAB 136
#define IDD_ERR_CONSIGNE 138
#define IDD_DETAILS 139

#define IDC_ERR_ICON 1010
#define IDC_INFO 1007
#define IDC_INFO_GENERAL 1019
#define IDC_QUESTION 1018
#define IDC_RESTAURER 1012
#define IDC_QUITTER 1014
#define IDC_REESSAYER 1015
#define IDC_REINIT 23093
#define IDC_DETAILS_TEXT 23066

#endif
