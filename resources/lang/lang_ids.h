// Resource ids of an interface-language library: the plug-in looks every template, text and
// picture up by these numbers in the library of the language in force.
#pragma once

// Dialog templates: the progress page, the language page and the welcome page.
#define IDD_LANG_PROGRESS 108
#define IDD_LANG_SELECT 110
#define IDD_LANG_WELCOME 112

// Controls of the language page and the welcome page.
#define IDC_LANG_LIST 1001
#define IDC_WELCOME_TITLE 1015

// Controls of the progress page.
#define IDC_PROGRESS_BAR 1004
#define IDC_PROGRESS_ELAPSED 1005
#define IDC_PROGRESS_REMAINING 1006
#define IDC_PROGRESS_SPEED 1007
#define IDC_PROGRESS_DONE 1008
#define IDC_PROGRESS_LEFT 1009
#define IDC_PROGRESS_STATUS 1010

// Strings; the comment names the %s arguments in their order.
#define IDS_SELECT_HEADER 103    // none
#define IDS_PROGRESS_HEADER 105  // none
#define IDS_CANCEL_QUESTION 106  // product name
#define IDS_CANCELLING 107       // none
#define IDS_CLOSE_ONLY 108       // caption of the Finish button
#define IDS_WELCOME_TITLE 113    // product name
#define IDS_WELCOME_BODY 114     // product name, caption of the Next button
#define IDS_DOWNLOADING 150      // product name
#define IDS_INSTALLING 151       // none
#define IDS_COMPLETED 154        // none

// The picture that stands for the language in the language page's list.
#define IDB_LANG_FLAG 107
