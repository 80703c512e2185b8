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

/* String table */
#define IDS_PRODUCT_NAME                103
#define IDS_NEWS_URL                    104   /* launcher page of the main window */
#define IDS_GAME_EXE                    105
#define IDS_UPDATE_HOST                 106
#define IDS_ALL_FILES_UP_TO_DATE        107
#define IDS_SERVER_DIRECTORY            108   /* product key word on the update server */
#define IDS_LAUNCHER_TAG                109
#define IDS_PRODUCT_KEY                 110   /* settings and uninstall key name */
#define IDS_GAME_FOLDER                 111
#define IDS_MAKER_FOLDER                112
#define IDS_BROWSE_FOLDER_PROMPT        113
#define IDS_BROWSE_FOLDER_TITLE         114
#define IDS_FILE_UPDATED                115
#define IDS_LAUNCHER_UPDATED            116
#define IDS_PRODUCT_TITLE               117
#define IDS_FILE_CREATION_ERROR         118
#define IDS_DIRECTORY_CREATION_ERROR    119
#define IDS_MAKER_KEY                   120
#define IDS_LANGUAGE_ENGLISH            121
#define IDS_LANGUAGE_RUSSIAN            122
#define IDS_DOWNLOADING                 123
#define IDS_FILES_DOWNLOADED            124
#define IDS_COUNT_FROM                  125
#define IDS_QUALITY_NONE                126
#define IDS_QUALITY_LOW                 127
#define IDS_QUALITY_MEDIUM              128
#define IDS_QUALITY_HIGH                129
#define IDS_QUALITY_VERY_HIGH           130
#define IDS_QUALITY_VERY_LOW            131
#define IDS_HTTP_REQUEST_ERROR          132
#define IDS_UNINSTALL_CONFIRM           133
#define IDS_GAME_EXE_NOT_FOUND          134
#define IDS_GAME_LAUNCH_FAILED          135
#define IDS_LINK4_NAME                  136   /* web link shortcut pair (136, 150) */
#define IDS_OFFLINE_PAGE                137   /* local page shown when offline */
#define IDS_QUALITY_ULTRA               138
#define IDS_FILES_COPIED                139
#define IDS_FILE_SIZE_MISMATCH          140
#define IDS_COPYING_FILES               141
#define IDS_UNPACK_ERROR                142
#define IDS_STAGE_UPDATING              143
#define IDS_COPYING                     144
#define IDS_WININET_ERROR               145
#define IDS_DISK_SPACE_LOW              146
#define IDS_REPORT_HOST                 147
#define IDS_REPORT_CONFIGS_PAGE         148
#define IDS_REPORT_ERRORS_PAGE          149
#define IDS_LINK4_URL                   150
#define IDS_REPORT_EVENTS_PAGE          151
#define IDS_DOWNLOAD_RETRY_WAIT         152
#define IDS_UPDATE_FAILED               153
#define IDS_WAIT_FINISHED               154
#define IDS_SITE_LINK_NAME              155   /* web link shortcut pair (155, 156) */
#define IDS_SITE_URL                    156
#define IDS_LINK2_NAME                  157   /* web link shortcut pair (157, 158) */
#define IDS_LINK2_URL                   158
#define IDS_LINK3_NAME                  159   /* web link shortcut pair (159, 160) */
#define IDS_LINK3_URL                   160
#define IDS_TRANSFER_INCOMPLETE         161
#define IDS_PUBLISHER                   162   /* uninstall entry "Publisher" */
#define IDS_ABOUT_URL                   163   /* uninstall entry "URLInfoAbout" */
#define IDS_SUPPORT_URL                 164   /* uninstall entry "HelpLink" */
#define IDS_DOWNLOAD_URL                165   /* uninstall entry "URLUpdateInfo" */
#define IDS_UNPACKING_GAME_DATA         166
#define IDS_UNPACKING_FINISHED          167
#define IDS_SELECTING_SERVER            168
#define IDS_TRANSFER_RESUMED            169
#define IDS_SHOW_CONNECTION_INFO        170
#define IDS_DIRECTX_SOUND_NOTICE        171
#define IDS_DIRECTX_URL                 172
#define IDS_SCREENSHOTS_FOLDER          173
#define IDS_VIDEO_INCOMPATIBLE          174
#define IDS_CHECKING_FILES              175
#define IDS_CHECK_FILES_HINT            176
#define IDS_UNINSTALL_COMPLETE          177
#define IDS_HTTP_AUTO_SELECT            178
#define IDS_SWITCHING_CLIENT            179

#define IDS_FIRST                       IDS_PRODUCT_NAME
#define IDS_LAST                        IDS_SWITCHING_CLIENT

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
