// Identifiers of the window's resources (shared by the resource script and
// the code).
#pragma once

#define IDI_TESSALY 128
#define IDD_MAIN 100
#define IDR_MENU 101
#define IDR_ACCELERATORS 102
#define IDD_ABOUT 103
#define IDD_CUSTOMIZE 104
#define IDD_INTERFACE_OPTIONS 105
#define IDD_ABOUT_INTERFACE 106

// The main window's controls.
#define IDC_SAVE 1000
#define IDC_SAVE_HTML 1001
#define IDC_STATUS 1002
#define IDC_BROWSER 1003
#define IDC_INTERFACE 1005
#define IDC_PLAYER 1235

// Menu commands.
#define ID_FILE_SAVE 32771
#define ID_FILE_SAVE_HTML 32772
#define ID_FILE_CUSTOMIZE 32773
#define ID_FILE_EXIT 32774
#define ID_INTERFACE_OPTIONS 32775
#define ID_INTERFACE_ABOUT 32776
#define ID_FLASH_BROWSER 32777
#define ID_FLASH_RELOAD 32778
#define ID_HELP_CONTENTS 32779
#define ID_HELP_SEARCH 32780
#define ID_HELP_PRINTING 32781
#define ID_HELP_SETTINGS 32782
#define ID_HELP_TIPS 32783
#define ID_HELP_ABOUT 32784
// The template submenus: one item per template, at most 60 each.
#define ID_SAVE_WITH_FIRST 40000
#define ID_BROWSER_WITH_FIRST 40100
#define MAX_TEMPLATE_ITEMS 60

// The About dialog.
#define IDC_ABOUT_TEXT 1100
#define IDC_ABOUT_LINK 1101

// The Customize dialog.
#define IDC_TEMPLATE 1200
#define IDC_TEMPLATE_BROWSE 1201
#define IDC_FLASH_POPUP 1202
#define IDC_FLASH_ALIGN 1203
#define IDC_START_MODE 1204
#define IDC_ENCODING_PRIORITY 1205
#define IDC_PROMPT_ON_CLOSE 1206

// The Interface Options and About Interface dialogs.
#define IDC_OPTIONS_LIST 1300
#define IDC_VALUE_EDIT 1301
#define IDC_VALUE_COMBO 1302
#define IDC_DESCRIPTION 1303
#define IDC_APPLY 1304
#define IDC_FACTORY_DEFAULTS 1305
#define IDC_INTERFACE_DESCRIPTION 1306
