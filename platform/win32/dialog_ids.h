// The ids of the dialogs' resource script (dialogs.rc) and of their
// controls; read by windres as well as by the compiler, so plain #defines.
// Resource ids 100-999 belong to the dialogs (1-99 to the main window).
#pragma once

#define IDD_SENDNET 129
#define IDD_CREDENTIALS 130

// The registration dialog: the ids its controls have always had.
#define IDC_ARIA 1001
#define IDC_NAME 1002
#define IDC_NAME_LABEL 1003
#define IDC_ARIA_LABEL 1004

// The credentials prompt.
#define IDC_CRED_PROMPT 1101
#define IDC_USER_LABEL 1102
#define IDC_USER 1103
#define IDC_PASSWORD_LABEL 1104
#define IDC_PASSWORD 1105
