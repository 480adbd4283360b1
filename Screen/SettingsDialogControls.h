// Identifiers of the settings dialog (105) and the About box (106), included by their
// resource script too.
#pragma once

#define IDD_SETTINGS 105
#define IDD_ABOUT 106

// Group boxes of the settings dialog.
#define IDC_BOX_MODE 65530
#define IDC_BOX_SOUND 65531
#define IDC_BOX_GRAPHICS 65532
#define IDC_BOX_MISC 65533
#define IDC_BOX_PRODUCTS 65534

#define IDC_PRODUCTS_TEXT 1006
#define IDC_DAY_OPTIONS 1009
#define IDC_DAY_LENGTH_LABEL 1010
#define IDC_VIDEO_MODE 1011
#define IDC_USE_DESKTOP 1012
#define IDC_VOLUME 1020
#define IDC_MUSIC 1021
#define IDC_SOUND 1022
#define IDC_VOLUME_LABEL 1023
#define IDC_SHOW_FPS 1044
#define IDC_EXIT_ON_MOUSE 1045
#define IDC_GAMMA 1046
#define IDC_SHADOW_QUALITY_LABEL 1048
#define IDC_SHADOW_QUALITY 1049
#define IDC_DAY_LENGTH 1050
#define IDC_VISIT 1061
#define IDC_ABOUT 1062
#define IDC_RESTORE_DEFAULTS 1063
#define IDC_GAMMA_LABEL 1106
#define IDC_CLOCK_12H 1111
#define IDC_CLOCK_24H 1112
#define IDC_GAMMA_VALUE 1116
#define IDC_SHOW_TIME 1119

// The About box's texts (its OK button is IDOK).
#define IDC_ABOUT_TEXT 1006
#define IDC_ABOUT_RIGHTS 1007
#define IDC_ABOUT_COPYRIGHT 1008
#define IDC_ABOUT_DESIGNER 1009
#define IDC_ABOUT_PROGRAMMER 1010
