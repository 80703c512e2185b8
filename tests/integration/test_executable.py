"""The shipped executable: one self-contained 32-bit Windows GUI program."""
import pefile

from conftest import SHIPPED_LAUNCHER as LAUNCHER
# DLLs every Windows installation has; anything else would have to ship beside the launcher.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "d3d9.dll", "gdi32.dll", "iphlpapi.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "wininet.dll", "ws2_32.dll",
}


def test_launcher_is_a_32_bit_gui_program_without_runtime_dlls():
    assert " " not in LAUNCHER.name
    image = pefile.PE(str(LAUNCHER), fast_load=True)
    image.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    assert image.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
    assert image.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
    imported = {entry.dll.decode().lower() for entry in image.DIRECTORY_ENTRY_IMPORT}
    assert imported <= SYSTEM_DLLS, imported - SYSTEM_DLLS
    # The wide entry point: the launcher reads its command line as UTF-16.
    kernel32 = next(e for e in image.DIRECTORY_ENTRY_IMPORT if e.dll.decode().lower() == "kernel32.dll")
    assert b"GetCommandLineW" in {i.name for i in kernel32.imports}


def test_launcher_manifest_declares_dpi_awareness_and_no_later_common_controls():
    image = pefile.PE(str(LAUNCHER))
    kind = next(e for e in image.DIRECTORY_ENTRY_RESOURCE.entries if e.id == pefile.RESOURCE_TYPE["RT_MANIFEST"])
    data = kind.directory.entries[0].directory.entries[0].data.struct
    manifest = image.get_data(data.OffsetToData, data.Size)
    assert kind.directory.entries[0].id == 1 and b">true</dpiAware>" in manifest
    # The tooltips are made for comctl32 5; version 6 would be another library.
    assert b"<dependency" not in manifest
