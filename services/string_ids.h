/* Entry numbers of the string table, shared by the code of every subsystem
 * and the resource scripts. Plain numbers only, so that the resource compiler
 * can include this file too. */
#ifndef TARNHOLD_SERVICES_STRING_IDS_H
#define TARNHOLD_SERVICES_STRING_IDS_H

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
#define IDS_UNINSTALL_FOLDER_KEPT       180   /* uninstall completed, folder shared with others */
#define IDS_REDIRECT_REFUSED            181   /* a redirect to a host or scheme we do not fetch from */
#define IDS_REDIRECT_LOOP               182   /* a redirect loop, or more redirects than allowed */
#define IDS_SERVER_STOPPED_SENDING      183   /* an answer that stalled past its deadline */
#define IDS_SIZE_TOO_LARGE              184   /* an answer too long for a 32-bit file size */
#define IDS_FOLDER_NOT_FULL_PATH        185   /* installation folder without drive or share */
#define IDS_UNINSTALL_LAUNCHER_RUNNING  186   /* uninstall asks to close the running launcher */
#define IDS_DISK_SPACE_SHORT            187   /* the update waits for free space on the game's drive */
#define IDS_WHOLE_GAME_DOES_NOT_FIT     188   /* the whole-game package gives way to single files */
#define IDS_FILE_HELD_BY                189   /* a game file another program holds, named */
#define IDS_FILE_HELD                   190   /* a game file another program holds, unnamed */
#define IDS_FILE_HELD_BY_GAME           191   /* a game file the running game holds */

#define IDS_FIRST                       IDS_PRODUCT_NAME
#define IDS_LAST                        IDS_FILE_HELD_BY_GAME

#endif /* TARNHOLD_SERVICES_STRING_IDS_H */
