// RmVesk.exe: stand-in for the card's uninstall program. It lists the files
// that the setup installed on this platform, which a full uninstaller would
// remove, and removes nothing. Its window title is "Uninstall Marlune
// Driver", one of the titles the setup closes before installing.
#include <windows.h>
#include <cstdio>
#include <cstring>

namespace {

enum Folder { WindowsFolder, SystemFolder, DriversFolder, InfFolder, AppFolder };

// The files the setup installs, and on which platforms.
struct InstalledFile {
    Folder folder;
    const char* name;
    bool onNt4, onNt5, on9x;
};

constexpr InstalledFile InstalledFiles[] = {
    {SystemFolder, "Vesk.Dll", true, true, false},
    {DriversFolder, "Vesk.Sys", true, true, false},
    {SystemFolder, "Vesk.Drv", false, false, true},
    {SystemFolder, "Vesk.VxD", false, false, true},
    {SystemFolder, "VeskASIO.Dll", false, false, true},
    {InfFolder, "Vesk.Inf", false, true, true},
    {WindowsFolder, "RmVesk.exe", true, true, true},
    {AppFolder, "Mixer.exe", true, true, true},
    {AppFolder, "Register.exe", true, true, true},
    {AppFolder, "MarluneReleaseNotes.txt", true, true, true},
};

// Copies a directory into `path` with one trailing backslash.
void SetFolder(char* path, const char* directory, const char* below)
{
    snprintf(path, MAX_PATH, "%s%s%s", directory,
             directory[0] && directory[strlen(directory) - 1] == '\\' ? "" : "\\", below);
}

// The program-files directory, or "<drive>:\Program Files" as the setup uses then.
void ReadProgramFiles(char* path, const char* windowsDir)
{
    HKEY key;
    DWORD size = MAX_PATH, type = 0;
    bool found = false;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key)
        == ERROR_SUCCESS) {
        found = RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(path), &size)
                    == ERROR_SUCCESS && type == REG_SZ && size > 0;
        RegCloseKey(key);
    }
    if (found)
        path[size - 1] = '\0';
    else
        snprintf(path, MAX_PATH, "%c:\\Program Files", windowsDir[0]);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char windowsDir[MAX_PATH] = "", systemDir[MAX_PATH] = "", programFiles[MAX_PATH];
    GetWindowsDirectoryA(windowsDir, MAX_PATH);
    GetSystemDirectoryA(systemDir, MAX_PATH);
    ReadProgramFiles(programFiles, windowsDir);

    char folders[5][MAX_PATH];
    SetFolder(folders[WindowsFolder], windowsDir, "");
    SetFolder(folders[SystemFolder], systemDir, "");
    SetFolder(folders[DriversFolder], systemDir, "Drivers\\");
    SetFolder(folders[InfFolder], windowsDir, "Inf\\");
    SetFolder(folders[AppFolder], programFiles, "Brenmark\\");

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    bool nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;

    char text[12 * MAX_PATH];
    int length = snprintf(text, sizeof text,
                          "This build carries a stand-in for the Marlune uninstaller; it removes nothing.\n\n"
                          "The full uninstaller would remove these files:\n\n");
    for (const InstalledFile& file : InstalledFiles) {
        bool here = nt ? (version.dwMajorVersion > 4 ? file.onNt5 : file.onNt4) : file.on9x;
        if (here && length < static_cast<int>(sizeof text))
            length += snprintf(text + length, sizeof text - length, "%s%s\n", folders[file.folder], file.name);
    }
    if (length < static_cast<int>(sizeof text))
        snprintf(text + length, sizeof text - length, "\nand the Start-menu folder \"Brenmark\" with its shortcuts.");
    MessageBoxA(nullptr, text, "Uninstall Marlune Driver", MB_OK | MB_ICONINFORMATION);
    return 0;
}
