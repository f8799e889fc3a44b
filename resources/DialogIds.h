/* Control ids of the open and save dialogs' option panels, shared by the
   dialog templates in Vellumark.rc and the window code (which checks them
   against the ids in documents/FileDialogs.h). */
#ifndef VELLUMARK_DIALOG_IDS_H
#define VELLUMARK_DIALOG_IDS_H

#define IDC_OPEN_LABEL_ENCODING 2001
#define IDC_OPEN_ENCODING 2002
#define IDC_OPEN_LABEL_TXT_OPTIONS 2003
#define IDC_OPEN_LABEL_LANGUAGE 2004
#define IDC_OPEN_LANGUAGE 2005

#define IDC_SAVE_LABEL_ENCODING 1001
#define IDC_SAVE_ENCODING 1002
#define IDC_SAVE_QUOTE 1003
#define IDC_SAVE_COLOR_API 1004
#define IDC_SAVE_HEADER 1005
#define IDC_SAVE_LABEL_OFFSET8 1006
#define IDC_SAVE_OFFSET8 1007
#define IDC_SAVE_LABEL_ADD_HASH 1008
#define IDC_SAVE_ADD_HASH 1009
#define IDC_SAVE_LABEL_TBL_OPTIONS 1010
#define IDC_SAVE_LABEL_TXT_OPTIONS 1011
#define IDC_SAVE_LABEL_LANGUAGE 1012
#define IDC_SAVE_LANGUAGE 1013
#define IDC_SAVE_LABEL_JSON_OPTIONS 1014

// The panel of every language of one object: a code and a text box per
// language, in the order of JsonLanguageCodes.
#define IDC_LANGUAGE_CODE_FIRST 3000
#define IDC_LANGUAGE_TEXT_FIRST 3020

#endif
