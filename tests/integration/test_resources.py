"""The compiled resource script: string table, dialog templates, icon.

Builds ui/resources/launcher.rc with windres the way the build does (UTF-8
code page, the source root, configured deployment.h and generated icon on
the include path), reads the .res file back and compares it with the tables
below: every string entry 103 to 191 in English (1033) and Russian (1049),
the deployment values, and the five dialog templates with the kind, id and
text of their controls.
"""

import pathlib
import shutil
import struct
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
RESOURCES = ROOT / 'ui' / 'resources'
WINDRES = 'i686-w64-mingw32-windres'
WINDRES_FLAGS = ['-c', '65001']

ENGLISH = 1033
RUSSIAN = 1049
LANGUAGES = (ENGLISH, RUSSIAN)

RT_ICON = 3
RT_DIALOG = 5
RT_STRING = 6
RT_GROUP_ICON = 14
RT_DIALOG_INIT = 240

# Values given to the deployment header for this test, loopback addresses
# only. The legal name carries Cyrillic and double quotes (written doubled in
# the header, as in any resource string) to check that the text reaches the
# resources unchanged.
DEPLOYMENT = {
    'TARNHOLD_NEWS_URL': 'http://127.0.0.1/launcher/news.html?',
    'TARNHOLD_UPDATE_HOST': '127.0.0.1',
    'TARNHOLD_REPORT_HOST': '127.0.0.2',
    'TARNHOLD_SITE_URL': 'http://127.0.0.1/site/',
    'TARNHOLD_LEGAL_NAME': 'ООО "Орвикс" & Orvix Games Ltd.',
    'TARNHOLD_MAKER_URL': 'http://127.0.0.1/maker/',
    'TARNHOLD_SUPPORT_URL': 'http://127.0.0.1/support/',
    'TARNHOLD_DOWNLOAD_URL': 'http://127.0.0.1/download/',
    'TARNHOLD_DIRECTX_URL': 'http://127.0.0.1/directx/',
}


class Deployed:
    """An entry whose text is the deployment value of a CMake cache variable."""

    def __init__(self, variable):
        self.variable = variable

    def text(self):
        return DEPLOYMENT[self.variable]


# Entry: (English, Russian). "\n" is a line feed; blanks at either end count.
STRINGS = {
    103: ("Tarnhold",
          "Tarnhold"),
    104: (Deployed('TARNHOLD_NEWS_URL'), Deployed('TARNHOLD_NEWS_URL')),
    105: ("Tarnhold.exe",
          "Tarnhold.exe"),
    106: (Deployed('TARNHOLD_UPDATE_HOST'), Deployed('TARNHOLD_UPDATE_HOST')),
    107: ("All files are up to date",
          "Все файлы последней версии"),
    108: ("tarnhold",
          "tarnhold2"),
    109: ("LAUNCHER",
          "LAUNCHER"),
    110: ("Tarnhold Brisvane",
          "Tarnhold"),
    111: (".",
          "."),
    112: ("Orvix Games",
          "Orvix Games"),
    113: ('Select folder from the list and press "OK"',
          'Выберите папку из списка и нажмите "OK"'),
    114: ("Select folder",
          "Обзор папок"),
    115: ("File updated ",
          "Обновлен файл "),
    116: ("Tarnhold Launcher has been updated and needs to be restarted",
          "Установщик Tarnhold был обновлен и перезапущен"),
    117: ("Tarnhold",
          "Tarnhold"),
    118: ("File creation error %s - '%s'",
          "Ошибка при создании файла %s - '%s'"),
    119: ("Directory creation error",
          "Ошибка при создании директории"),
    120: ("OrvixGames",
          "OrvixGames"),
    121: ("English",
          "English"),
    122: ("Русский",
          "Русский"),
    123: ("Downloading ",
          "Загружается "),
    124: ("Files downloaded ",
          "Файлов загружено "),
    125: (" from ",
          " из "),
    126: ("No",
          "Нет"),
    127: ("Low",
          "Низкое"),
    128: ("Medium",
          "Среднее"),
    129: ("High",
          "Высокое"),
    130: ("Very high",
          "Очень высокое"),
    131: ("Very low",
          "Очень низкое"),
    132: ('Error requesting resource "%s" HTTP %s',
          'Ошибка при запросе файла "%s" HTTP %s'),
    133: ('Are you sure you want to uninstall "Tarnhold"?',
          'Вы уверены в том что хотите удалить "Tarnhold"?'),
    134: ("Can't find game executable",
          "Не найден исполняемый файл приложения"),
    135: ("Failed to launch the game.",
          "Не удалось запустить игру.\nВероятно, требуется обновление библиотек Microsoft DirectX"),
    136: ("_",
          "_"),
    137: (" ",
          " "),
    138: ("Ultra",
          "Ультра"),
    139: ("Files copied ",
          "Файлов скопировано "),
    140: ('File download error "%s". File size differs from expected. Received - %s, expected - %s',
          'Ошибка загрузки файла "%s". Размер отличается от ожидаемого. Получено - %s, ожидалось - %s'),
    141: ("Copying of files",
          "Копирование файлов"),
    142: ("File unpacking error: ",
          "Ошибка распаковки файла: "),
    143: ("Updating",
          "Обновление"),
    144: ("Copying ",
          "Копируется "),
    145: ("WinInet Error in row %d. %d %s",
          "Ошибка WinInet в строке %d. %d %s"),
    146: ("Unsufficient disk space\nNeeded %s. Available %s",
          "Недостаточно свободного места на диске\nТребуется %s. Доступно %s"),
    147: (Deployed('TARNHOLD_REPORT_HOST'), Deployed('TARNHOLD_REPORT_HOST')),
    148: ("reports-configs.asp",
          "launcher/reports-configs.asp"),
    149: ("reports-errors.asp",
          "launcher/reports-errors.asp"),
    150: ("_",
          "_"),
    151: ("reports-events.asp",
          "launcher/reports-events.asp"),
    152: ("Repeated file download attempt. Wait %d seconds",
          "Повторная попытка загрузки файла. Ожидание %d секунд"),
    153: ("To finish updating it is not has gone right. Probably, problems on a server. Try later.",
          "Завершить обновление не удалась. Возможно, проблемы на сервере. Попробуйте позже."),
    154: ("Wait is finished. Request...",
          "Ожидание завершено. Запрос..."),
    155: ("Official site",
          "Официальный сайт"),
    156: (Deployed('TARNHOLD_SITE_URL'), Deployed('TARNHOLD_SITE_URL')),
    157: ("_",
          "_"),
    158: ("_",
          "_"),
    159: ("_",
          "_"),
    160: ("_",
          "_"),
    161: ("Transfer is finished by a server. However, the file is received not completely.",
          "Передача завершена сервером. Однако, файл получен не полностью."),
    162: (Deployed('TARNHOLD_LEGAL_NAME'), Deployed('TARNHOLD_LEGAL_NAME')),
    163: (Deployed('TARNHOLD_SITE_URL'), Deployed('TARNHOLD_MAKER_URL')),
    164: (Deployed('TARNHOLD_SITE_URL'), Deployed('TARNHOLD_SUPPORT_URL')),
    165: (Deployed('TARNHOLD_SITE_URL'), Deployed('TARNHOLD_DOWNLOAD_URL')),
    166: ("Unpacking of the game data",
          "Распаковка игровых данных"),
    167: ("Unpacking is finished",
          "Распаковка завершена"),
    168: ("Selecting update server: ",
          "Сервер обновлений: "),
    169: ("Transmission resumed",
          "Передача возобновлена"),
    170: ("Show connection information",
          "Показать информацию о подключении"),
    171: ("DirectX update is required in order to hear in-game sound.\nOpen Microsoft DirectX download page?",
          "Не удалось инициализировать звуковую библиотеку DirectX XACT\nДля получения звука в игре обновите компоненты DirectX\n\nОткрыть страницу загрузки DirectX на сайте компании Microsoft?"),
    172: (Deployed('TARNHOLD_DIRECTX_URL'), Deployed('TARNHOLD_DIRECTX_URL')),
    173: ("Screenshots folder",
          "Папка скриншотов"),
    174: ("Unfortunately, your video adapter does not meet the minimum requirements of the game or no drivers are installed, allowing to use the hardware capabilities of the video card.\n\nDevice: %s, Pixel Shader: %d.%d, Vertex Shaders %d.%d\n\nMinimal requirements: Pixel Shader 2.0, Vertex Shaders: 2.0",
          "К сожалению, Ваш видеоадаптер не удовлетворяет минимальным требованиям игры, либо не установлены драйверы, позволяющие использовать аппаратные возможности видеоадаптера.\n\nУстройство: %s, пиксельные шейдеры: %d.%d, вершинные шейдеры: %d.%d\n\nМинимально необходимо: пиксельные шейдеры: 2.0, вершинные шейдеры: 2.0"),
    175: ("Checking files integrity...",
          "Проверка целостности файлов..."),
    176: ("Will compute crc of files and compare them with reference values. Files with the different check values will be loaded anew.\nCheck process can take some time",
          "Произведет расчет контрольных сумм содержимого файлов и их сравнение с эталонными значениями. Файлы с отличающимися контрольными суммами будут загружены заново.\nПроцесс проверки может занять некоторое время"),
    177: ("Uninstallation is completed",
          "Удаление завершено."),
    178: ("Auto select",
          "Автоматически"),
    179: ("Switching to %s.",
          "Переключение на %s."),
    180: ("Uninstallation is completed.\nThe folder \"%s\" holds more than the game, so only the files the launcher put there were removed from it; everything else in it was kept.",
          "Удаление завершено.\nПапка \"%s\" содержит не только игру, поэтому из неё удалены только файлы, записанные программой запуска; всё остальное в ней сохранено."),
    181: ("The server sent \"%s\" on to \"%s\": only update servers over http are followed.",
          "Сервер перенаправил \"%s\" на \"%s\": допускаются только серверы обновлений по http."),
    182: ("The server sent \"%s\" round a loop or through more than 5 redirects.",
          "Сервер перенаправлял \"%s\" по кругу или больше 5 раз."),
    183: ("The server stopped sending \"%s\".",
          "Сервер перестал передавать \"%s\"."),
    184: ("The server announces %s bytes for \"%s\": files of 4 GiB or more cannot be stored.",
          "Сервер объявляет %s байт для \"%s\": файлы от 4 ГиБ сохранить нельзя."),
    185: ("The folder \"%s\" is not a full path. Enter a folder that begins with a drive, for example C:\\Games\\Tarnhold.",
          "Папка \"%s\" указана не полностью. Укажите папку, начинающуюся с диска, например C:\\Games\\Tarnhold."),
    186: ("Tarnhold is running from this folder. Close it, then press Retry; Cancel stops the uninstallation.",
          "Tarnhold запущен из этой папки. Закройте его и нажмите «Повторить»; «Отмена» прекращает удаление."),
    187: ("Not enough disk space: %s needed on %s, %s free. Free some space; the update will go on by itself.",
          "Недостаточно места на диске: нужно %s на %s, свободно %s. Освободите место; обновление продолжится само."),
    188: ("The whole game in one package does not fit on the disk: the files are downloaded one by one.",
          "Игра одним пакетом не помещается на диск: файлы загружаются по одному."),
    189: ("%s is in use by %s; trying again in %d s.", "%s занят программой %s; следующая попытка через %d с."),
    190: ("%s is in use by another program; trying again in %d s.",
          "%s занят другой программой; следующая попытка через %d с."),
    191: ("%s is in use by the game: close the game to finish the update. Trying again in %d s.",
          "%s занят игрой: закройте игру, чтобы завершить обновление. Следующая попытка через %d с."),
}

# Captions and control texts: (dialog, control id, English, Russian); a control
# of None is a label or group box without an id.
DIALOG_TEXTS = [
    (129, 'caption', "Tarnhold. Update", "Tarnhold. Обновление"),
    (129, 1, "OK", "OK"),
    (129, 1001, "All files are up to date", "Все файлы последней версии"),
    (129, 1002, "Files loaded 0 from 0 (0 bytes / 0 bytes)", "Файлов загружено 0 из 0 (0 bytes / 0 bytes)"),
    (129, 1004, "Start after update", "Запустить автоматически"),
    (129, 1005, "Start Game", "Начать игру"),
    (129, 1016, "Options", "Опции"),
    (129, 1050, "˅", "˅"),
    (129, 1052, "/s", "/с"),
    (130, 'caption', "Tarnhold. Installation", "Tarnhold. Установка"),
    (130, 1, "OK", "OK"),
    (130, 2, "Cancel", "Отмена"),
    (130, 1007, "Create Start Menu shortcut", "Добавить ярлык в меню Старт"),
    (130, 1008, "Create Desktop shortcut", "Добавить ярлык на Рабочий стол"),
    (130, 1009, "Create Quick Lauch shortcut", "Добавить ярлык в панель Быстрого запуска"),
    (130, None, "Wellcome to the Tarnhold\nSelect the instalation options", "Добро пожаловать в Tarnhold\nВыберите опции установки"),
    (130, 1012, "&Browse...", "&Обзор..."),
    (130, None, "Install to", "Установить в"),
    (130, 1041, "Need disk space:", "Требуется:"),
    (130, 1042, "Available:", "Доступно:"),
    (131, 'caption', "Options", "Опции"),
    (131, 1, "Save", "Запомнить"),
    (131, 2, "Cancel", "Отмена"),
    (131, None, "Graphics options", "Опции графики"),
    (131, None, "Screen resolution:", "Разрешение:"),
    (131, None, "Lighting quality:", "Качество освещения:"),
    (131, None, "Texture quality:", "Качество текстур:"),
    (131, None, "Shadows quality:", "Качество теней:"),
    (131, None, "Anisotropy texture filtering:", "Анизотропная фильтрация текстур:"),
    (131, 1028, "Trilinear texture filtering:", "Трилинейная фильтрация текстур:"),
    (131, 1065, "Simplified terrain", "Упрощенный ландшафт"),
    (131, 1030, "Change...", "Сменить..."),
    (131, None, "Language Options", "Языковые опции"),
    (131, None, "Current language:", "Текущий язык:"),
    (131, None, "Sound options", "Звуковые опции"),
    (131, 1033, "In game sounds:", "Звуки в игре:"),
    (131, 1067, "Check files crc", "Проверить файлы"),
    (131, None, "If game doesn't work:", "Если игра не запускается:"),
    (131, 1069, "Do crc check after game crash", 'Проверять файлы после "падений"'),
    (131, None, "Detail options", "Детализация"),
    (131, None, "Overall detail level", "Общий уровень детализации"),
    (131, None, "Grass far view distance", "Дальность отрисовки травы"),
    (131, None, "Grass density", "Плотность травы"),
    (131, None, "Effects density", "Плотность эффектов"),
    (131, None, "Far view distance", "Дальность отрисовки"),
    (131, None, "Reflection far distance", "Дальность отрисовки в отражении"),
    (131, 1040, "Water reflections:", "Отражения в воде:"),
    (131, None, "Players and NPC draw distance", "Дальность видимости персонажей и игроков"),
    (131, 1064, "Fullscreen mode", "Полноэкранный режим"),
    (131, 1062, "Windowed fullscreen", "Оконный режим, на весь экран"),
    (131, 1063, "Windowed mode", "Оконный режим"),
    (131, 1066, "Automatic quality control", "Автоматическая настройка качества"),
    (131, None, "HTTP client:", "HTTP клиент:"),
    (131, None, "Download speed limit:", "Ограничение скорости:"),
    (131, None, "KB/s (0: off)", "КБ/с (0: нет)"),
    (133, 'caption', "Select Setup Language", "Выбор языка приложения"),
    (133, 1, "OK", "OK"),
    (133, 2, "Cancel", "Отмена"),
    (133, None, "Select the language to use during installation:", "Выберите язык используемый приложением"),
    (142, 'caption', "Question", "Вопрос"),
    (142, None, "Please answer the question why did you close the Tarnhold without waiting for content download", "Пожалуйста, ответьте на вопрос почему Вы закрываете Tarnhold не дождавшись загрузки контента игры.\nНам важно Ваше мнение чтобы улучшить процесс установки"),
    (142, None, "Possible answers:", "Варианты ответа:"),
    (142, 1044, "No response", "Нет ответа"),
    (142, 1050, "I will do it later", "Продолжу загрузку позже"),
    (142, 1045, "I do not want something else in addition to download", "Не хотел еще чего-то дополнительно скачивать"),
    (142, 1046, "Loading too slowly. Could not wait to download", "Загружалось слишком медленно. Не смог дождаться загрузки"),
    (142, 1047, "Too many errors. Unable to download", "Множество ошибок загрузки. Не смог скачать"),
    (142, 1048, "Another reason:", "Другая причина:"),
    (142, 1, "OK", "OK"),
    (142, 2, "Cancel", "Отмена"),
]

BROWSER_CLSID = '{8856F961-340A-11D0-A96B-00C04FD705A2}'

# Kind of every control with an id, per dialog. Controls without an id
# (labels, group boxes) are checked through DIALOG_TEXTS.
CONTROL_KINDS = {
    129: {1: 'button', 1000: 'progress', 1001: 'static', 1002: 'static',
          1003: 'progress', 1004: 'checkbox', 1005: 'button', 1016: 'button',
          1007: 'browser', 1050: 'button', 1006: 'edit', 1052: 'static'},
    130: {1: 'button', 2: 'button', 1007: 'checkbox', 1008: 'checkbox',
          1009: 'checkbox', 1010: 'edit', 1012: 'button', 1041: 'static',
          1011: 'static', 1042: 'static', 1032: 'static'},
    131: {1: 'button', 2: 'button',
          1064: 'radio', 1062: 'radio', 1063: 'radio',
          1018: 'droplist', 1026: 'droplist', 1029: 'droplist',
          1023: 'droplist', 1027: 'droplist', 1019: 'droplist',
          1028: 'checkbox', 1065: 'checkbox', 1033: 'checkbox',
          1040: 'checkbox', 1066: 'checkbox', 1069: 'checkbox',
          1036: 'trackbar', 1038: 'trackbar', 1042: 'trackbar', 1048: 'trackbar',
          1050: 'trackbar', 1052: 'trackbar', 1055: 'trackbar',
          1037: 'static', 1039: 'static', 1043: 'static', 1049: 'static',
          1051: 'static', 1053: 'static', 1054: 'static',
          1031: 'static', 1030: 'button', 1067: 'button', 1070: 'edit'},
    133: {1: 'button', 2: 'button', 1029: 'droplist'},
    142: {1044: 'radio', 1045: 'radio', 1046: 'radio', 1047: 'radio',
          1048: 'radio', 1050: 'radio', 1049: 'edit', 1: 'button', 2: 'button'},
}

# Texts of controls with an id that the text table leaves out: the browser's
# CLSID and the percentage labels of the options dialog.
EXTRA_TEXTS = [(129, 1007, BROWSER_CLSID)] + [
    (131, cid, '0%') for cid in (1037, 1039, 1043, 1049, 1051, 1053, 1054)]

# The main window's layout in dialog units, the same in both languages.
LAUNCHER_LAYOUT = {
    1: (162, 85, 154, 14), 1000: (7, 19, 309, 13), 1001: (7, 8, 309, 8),
    1002: (7, 35, 205, 10), 1003: (7, 47, 309, 13), 1004: (7, 68, 113, 10),
    1005: (224, 66, 92, 14), 1016: (134, 66, 85, 14), 1007: (7, 85, 309, 195),
    1050: (303, 282, 14, 12), 1006: (7, 296, 309, 43), 1052: (227, 35, 85, 10),
}

WS_POPUP = 0x80000000
WS_VISIBLE = 0x10000000
WS_DISABLED = 0x08000000
WS_CAPTION = 0x00C00000
WS_VSCROLL = 0x00200000
WS_SYSMENU = 0x00080000
WS_MINIMIZEBOX = 0x00020000
DS_MODALFRAME = 0x80
DS_SETFONT = 0x40
ES_MULTILINE = 0x4
ES_READONLY = 0x800
SS_TYPEMASK = 0x1F
SS_RIGHT = 0x2

# Initial states: (dialog, control, flag that must be set, flag that must be clear).
CONTROL_STATES = [
    (129, 1, 0, WS_VISIBLE),
    (129, 1005, WS_DISABLED, 0),
    (129, 1006, ES_MULTILINE | ES_READONLY | WS_VSCROLL, 0),
    (130, 1041, 0, WS_VISIBLE),
    (130, 1011, 0, WS_VISIBLE),
    (130, 1042, 0, WS_VISIBLE),
    (130, 1032, 0, WS_VISIBLE),
    (142, 1049, ES_MULTILINE | WS_DISABLED, 0),
]

BUTTON_KINDS = {0: 'button', 1: 'button', 2: 'checkbox', 3: 'checkbox',
                4: 'radio', 9: 'radio', 7: 'groupbox'}
CLASS_ORDINALS = {0x80: 'button', 0x81: 'edit', 0x82: 'static',
                  0x83: 'listbox', 0x84: 'scrollbar', 0x85: 'combobox'}


# --- reading a .res file --------------------------------------------------

def _name_or_ordinal(data, pos):
    """A resource or template name field: (ordinal or text, next position)."""
    (word,) = struct.unpack_from('<H', data, pos)
    if word == 0xFFFF:
        return struct.unpack_from('<H', data, pos + 2)[0], pos + 4
    end = pos
    while data[end:end + 2] != b'\0\0':
        end += 2
    return data[pos:end].decode('utf-16-le'), end + 2


def read_res(data):
    """{(type, name, language): data} of every resource in a .res file."""
    resources = {}
    pos = 0
    while pos < len(data):
        size, header_size = struct.unpack_from('<II', data, pos)
        rtype, p = _name_or_ordinal(data, pos + 8)
        name, p = _name_or_ordinal(data, p)
        p = (p + 3) & ~3
        (language,) = struct.unpack_from('<H', data, p + 6)
        if size:
            key = (rtype, name, language)
            assert key not in resources, 'duplicate resource %r' % (key,)
            start = pos + header_size
            resources[key] = data[start:start + size]
        pos = (pos + header_size + size + 3) & ~3
    return resources


def string_table(resources, language):
    """{entry: text} of the string table in one language."""
    strings = {}
    for (rtype, block, lang), data in resources.items():
        if rtype != RT_STRING or lang != language:
            continue
        pos = 0
        for index in range(16):
            (length,) = struct.unpack_from('<H', data, pos)
            pos += 2
            if length:
                strings[(block - 1) * 16 + index] = data[pos:pos + 2 * length].decode('utf-16-le')
            pos += 2 * length
    return strings


def read_dialog(data):
    """An extended dialog template as a dict with its controls."""
    version, signature, _, _, style, count, x, y, cx, cy = struct.unpack_from('<HHIIIHhhhh', data, 0)
    assert (version, signature) == (1, 0xFFFF), 'not an extended dialog template'
    _, pos = _name_or_ordinal(data, 26)           # menu
    _, pos = _name_or_ordinal(data, pos)          # window class
    caption, pos = _name_or_ordinal(data, pos)
    font = None
    if style & DS_SETFONT:
        size, _, _, _ = struct.unpack_from('<HHBB', data, pos)
        face, pos = _name_or_ordinal(data, pos + 6)
        font = (face, size)
    controls = []
    for _ in range(count):
        pos = (pos + 3) & ~3
        _, _, cstyle, cx_, cy_, cw, ch, cid = struct.unpack_from('<IIIhhhhi', data, pos)
        window_class, pos = _name_or_ordinal(data, pos + 24)
        text, pos = _name_or_ordinal(data, pos)
        (extra,) = struct.unpack_from('<H', data, pos)
        pos += 2 + extra
        if isinstance(window_class, int):
            window_class = CLASS_ORDINALS.get(window_class, window_class)
        else:
            window_class = window_class.lower()   # class names are not case-sensitive
        controls.append({'id': cid, 'class': window_class, 'style': cstyle,
                         'text': text if isinstance(text, str) else '',
                         'rect': (cx_, cy_, cw, ch)})
    return {'style': style, 'caption': caption, 'font': font,
            'size': (cx, cy), 'controls': controls}


def control_kind(control):
    cls, style = control['class'], control['style']
    if cls == 'button':
        return BUTTON_KINDS.get(style & 0xF, 'button style %d' % (style & 0xF))
    if cls == 'combobox':
        return 'droplist' if style & 3 == 3 else 'combobox'
    return {'msctls_progress32': 'progress', 'msctls_trackbar32': 'trackbar',
            'atlaxwin': 'browser'}.get(cls, cls)


# --- building ---------------------------------------------------------------

@pytest.fixture(scope='module')
def resources(tmp_path_factory):
    windres = shutil.which(WINDRES)
    assert windres, WINDRES + ' is not installed'
    out = tmp_path_factory.mktemp('resources')
    header = (RESOURCES / 'deployment.h.in').read_text(encoding='utf-8')
    for variable, value in DEPLOYMENT.items():
        header = header.replace('@%s@' % variable, value.replace('"', '""'))
    assert '@' not in header, 'deployment.h.in uses a variable this test does not set'
    (out / 'deployment.h').write_text(header, encoding='utf-8')
    subprocess.run([sys.executable, str(RESOURCES / 'make_icon.py'), str(out / 'launcher.ico')],
                   check=True)
    script = str(RESOURCES / 'launcher.rc')
    for fmt, name in (('coff', 'launcher.o'), ('res', 'launcher.res')):
        subprocess.run([windres] + WINDRES_FLAGS + ['-I', str(ROOT), '-I', str(out), script,
                                                    '-O', fmt, '-o', str(out / name)],
                       check=True)
    return read_res((out / 'launcher.res').read_bytes())


# --- the checks -------------------------------------------------------------

def test_string_table(resources):
    problems = []
    for column, language in enumerate(LANGUAGES):
        table = string_table(resources, language)
        extra = sorted(set(table) - set(STRINGS))
        if extra:
            problems.append('%d: entries not in the table: %s' % (language, extra))
        for entry, texts in sorted(STRINGS.items()):
            expected = texts[column]
            if isinstance(expected, Deployed):
                expected = expected.text()
            if table.get(entry) != expected:
                problems.append('%d/%d: %r, expected %r' % (language, entry, table.get(entry), expected))
    assert not problems, '\n'.join(problems)


def test_dialog_templates(resources):
    problems = []
    for language in LANGUAGES:
        column = LANGUAGES.index(language)
        dialogs = {}
        for dialog_id in CONTROL_KINDS:
            data = resources.get((RT_DIALOG, dialog_id, language))
            if data is None:
                problems.append('%d: dialog %d missing' % (language, dialog_id))
                continue
            dialog = dialogs[dialog_id] = read_dialog(data)
            where = '%d/%d' % (language, dialog_id)
            if dialog['font'] != ('MS Shell Dlg', 8):
                problems.append('%s: font %r' % (where, dialog['font']))
            if dialog['style'] & WS_VISIBLE:
                problems.append('%s: visible at creation' % where)
            by_id = {}
            for control in dialog['controls']:
                if control['id'] != -1:
                    if control['id'] in by_id:
                        problems.append('%s: id %d used twice' % (where, control['id']))
                    by_id[control['id']] = control
            if set(by_id) != set(CONTROL_KINDS[dialog_id]):
                problems.append('%s: ids %s, expected %s' % (where, sorted(by_id), sorted(CONTROL_KINDS[dialog_id])))
            for cid, kind in CONTROL_KINDS[dialog_id].items():
                if cid in by_id and control_kind(by_id[cid]) != kind:
                    problems.append('%s/%d: %s, expected %s' % (where, cid, control_kind(by_id[cid]), kind))

        for dialog_id, cid, *texts in DIALOG_TEXTS:
            dialog = dialogs.get(dialog_id)
            if dialog is None:
                continue
            expected = texts[column]
            where = '%d/%d' % (language, dialog_id)
            if cid == 'caption':
                if dialog['caption'] != expected:
                    problems.append('%s: caption %r, expected %r' % (where, dialog['caption'], expected))
            elif cid is None:
                if not any(c['id'] == -1 and c['text'] == expected for c in dialog['controls']):
                    problems.append('%s: no label %r' % (where, expected))
            else:
                found = [c['text'] for c in dialog['controls'] if c['id'] == cid]
                if found != [expected]:
                    problems.append('%s/%d: %r, expected %r' % (where, cid, found, expected))
        for dialog_id, cid, expected in EXTRA_TEXTS:
            found = [c['text'] for c in dialogs.get(dialog_id, {'controls': []})['controls'] if c['id'] == cid]
            if found != [expected]:
                problems.append('%d/%d/%d: %r, expected %r' % (language, dialog_id, cid, found, expected))
        for dialog_id, cid, must_set, must_clear in CONTROL_STATES:
            for control in dialogs.get(dialog_id, {'controls': []})['controls']:
                if control['id'] == cid and (control['style'] & must_set != must_set
                                             or control['style'] & must_clear):
                    problems.append('%d/%d/%d: style 0x%08X' % (language, dialog_id, cid, control['style']))

        launcher = dialogs.get(129)
        if launcher:
            wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME
            if launcher['style'] & wanted != wanted:
                problems.append('%d/129: window style 0x%08X' % (language, launcher['style']))
            for control in launcher['controls']:
                if control['id'] in LAUNCHER_LAYOUT and control['rect'] != LAUNCHER_LAYOUT[control['id']]:
                    problems.append('%d/129/%d: at %r' % (language, control['id'], control['rect']))
                if control['id'] == 1052 and control['style'] & SS_TYPEMASK != SS_RIGHT:
                    problems.append('%d/129/1052: not right-aligned' % language)
        if (RT_DIALOG_INIT, 129, language) not in resources:
            problems.append('%d: no initialisation data for dialog 129' % language)

    # Icon 107: one group with a 32x32 and a 16x16 image of 32 bits.
    groups = [data for (rtype, name, _), data in resources.items()
              if rtype == RT_GROUP_ICON and name == 107]
    if len(groups) != 1:
        problems.append('icon 107: %d groups' % len(groups))
    else:
        _, kind, count = struct.unpack_from('<HHH', groups[0], 0)
        sizes = set()
        for index in range(count):
            width, height, _, _, _, bits, _, image = struct.unpack_from('<BBBBHHIH', groups[0], 6 + 14 * index)
            sizes.add((width, height, bits))
            if not any(r == RT_ICON and n == image for r, n, _ in resources):
                problems.append('icon 107: image %d missing' % image)
        if kind != 1 or sizes != {(32, 32, 32), (16, 16, 32)}:
            problems.append('icon 107: images %r' % sorted(sizes))
    assert not problems, '\n'.join(problems)
