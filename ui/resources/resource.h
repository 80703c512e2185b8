/* Resource identifiers of the launcher: dialogs, icon, string table and
 * dialog controls. Plain numbers only, so that both the C++ sources and the
 * resource compiler can include this file. */
#ifndef TARNHOLD_UI_RESOURCE_H
#define TARNHOLD_UI_RESOURCE_H

/* Resource type of the dialog initialisation data that goes with a dialog
 * hosting ActiveX controls (same id and language as its dialog). */
#define RT_DIALOG_INIT                  240

/* Icon */
#define IDI_LAUNCHER                    107

/* Dialog templates */
#define IDD_LAUNCHER                    129   /* main window */
#define IDD_SETUP                       130   /* installation */
#define IDD_OPTIONS                     131   /* options */
#define IDD_LANGUAGE                    133   /* language selection */
#define IDD_REFUSAL_POLL                142   /* "why did you close" poll */

/* String table entries */
#include "services/string_ids.h"

/* Controls without an id */
#ifndef IDC_STATIC
#define IDC_STATIC                      (-1)
#endif

/* Controls of the main window (IDD_LAUNCHER); IDOK (1) is a hidden button */
#define IDC_FILE_PROGRESS               1000
#define IDC_STATUS                      1001
#define IDC_COUNT_LINE                  1002
#define IDC_TOTAL_PROGRESS              1003
#define IDC_AUTO_START                  1004
#define IDC_START_GAME                  1005
#define IDC_LOG                         1006
#define IDC_BROWSER                     1007
#define IDC_OPTIONS                     1016
#define IDC_LOG_TOGGLE                  1050
#define IDC_SPEED                       1052

/* Controls of the installation dialog (IDD_SETUP) */
#define IDC_SHORTCUT_START_MENU         1007
#define IDC_SHORTCUT_DESKTOP            1008
#define IDC_SHORTCUT_QUICK_LAUNCH       1009
#define IDC_INSTALL_FOLDER              1010
#define IDC_SPACE_NEEDED                1011
#define IDC_BROWSE                      1012
#define IDC_SPACE_AVAILABLE             1032
#define IDC_SPACE_NEEDED_LABEL          1041
#define IDC_SPACE_AVAILABLE_LABEL       1042

/* Controls of the options dialog (IDD_OPTIONS); IDOK is "Save" */
#define IDC_RESOLUTION                  1018
#define IDC_HTTP_CLIENT                 1019
#define IDC_TEXTURE_QUALITY             1023
#define IDC_LIGHTING_QUALITY            1026
#define IDC_ANISOTROPY                  1027
#define IDC_TRILINEAR                   1028
#define IDC_SHADOWS_QUALITY             1029
#define IDC_CHANGE_LANGUAGE             1030
#define IDC_CURRENT_LANGUAGE            1031
#define IDC_SOUND_ENABLED               1033
#define IDC_OVERALL_DETAIL              1036
#define IDC_OVERALL_DETAIL_VALUE        1037
#define IDC_GRASS_DISTANCE              1038
#define IDC_GRASS_DISTANCE_VALUE        1039
#define IDC_WATER_REFLECTIONS           1040
#define IDC_GRASS_DENSITY               1042
#define IDC_GRASS_DENSITY_VALUE         1043
#define IDC_EFFECTS_DENSITY             1048
#define IDC_EFFECTS_DENSITY_VALUE       1049
#define IDC_FAR_DISTANCE                1050
#define IDC_FAR_DISTANCE_VALUE          1051
#define IDC_REFLECTION_DISTANCE         1052
#define IDC_REFLECTION_DISTANCE_VALUE   1053
#define IDC_PLAYERS_DISTANCE_VALUE      1054
#define IDC_PLAYERS_DISTANCE            1055
#define IDC_WINDOWED_FULLSCREEN         1062
#define IDC_WINDOWED                    1063
#define IDC_FULLSCREEN                  1064
#define IDC_SIMPLIFIED_TERRAIN          1065
#define IDC_AUTO_QUALITY                1066
#define IDC_CHECK_FILES                 1067
#define IDC_CHECK_AFTER_CRASH           1069
#define IDC_SPEED_LIMIT                 1070

/* Controls of the language dialog (IDD_LANGUAGE) */
#define IDC_LANGUAGE_LIST               1029

/* Controls of the refusal poll (IDD_REFUSAL_POLL) */
#define IDC_ANSWER_NONE                 1044
#define IDC_ANSWER_NOT_WANTED           1045
#define IDC_ANSWER_TOO_SLOW             1046
#define IDC_ANSWER_ERRORS               1047
#define IDC_ANSWER_OTHER                1048
#define IDC_ANSWER_TEXT                 1049
#define IDC_ANSWER_LATER                1050

#endif /* TARNHOLD_UI_RESOURCE_H */
