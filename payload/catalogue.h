// The catalogue of the carried files: where each is installed, on which
// platforms, and whether an upgrade leaves it to the restart.
#pragma once
#include <windows.h>
#include <array>
#include <string_view>
#include "base/install_context.h"

struct CatalogueEntry {
    std::string_view resourceName;  // as stored in the image, upper case
    std::string_view fileName;      // as installed, in mixed case
    char (InstallContext::*directory)[MAX_PATH];
    bool onNt;
    bool on9x;
    DWORD minNtMajorVersion;        // on Windows NT only from this version on
    bool deferredOnUpgrade;         // an in-use driver: replaced at the next restart
};

// In the order of the resource names, which is the order the platform offers
// them in. The names are literals: data() is terminated.
inline constexpr std::array<CatalogueEntry, 10> Catalogue = {{
    {"VESK.DLL", "Vesk.Dll", &InstallContext::SystemDir, true, false, 0, true},
    {"VESK.SYS", "Vesk.Sys", &InstallContext::DriversDir, true, false, 0, false},
    {"VESK.INF", "Vesk.Inf", &InstallContext::InfDir, true, true, 5, false},
    {"VESK.DRV", "Vesk.Drv", &InstallContext::SystemDir, false, true, 0, true},
    {"VESK.VXD", "Vesk.VxD", &InstallContext::SystemDir, false, true, 0, true},
    {"VESKASIO.DLL", "VeskASIO.Dll", &InstallContext::SystemDir, false, true, 0, false},
    {"RMVESK.EXE", "RmVesk.exe", &InstallContext::WindowsDir, true, true, 0, false},
    {"MIXER.EXE", "Mixer.exe", &InstallContext::AppDir, true, true, 0, false},
    {"REGISTER.EXE", "Register.exe", &InstallContext::AppDir, true, true, 0, false},
    {"MARLUNERELEASENOTES.TXT", "MarluneReleaseNotes.txt", &InstallContext::AppDir, true, true, 0, false},
}};

// The names a deferred file goes through besides its destination's: it is
// expanded under `Expanding` and then put over the file the restart is to
// move, `Queued` beside the destination, in one step, so a file the restart
// already waits for is never rewritten in place. In the temporary folder
// (Windows 95 and 98) the queued file has the resource's own name and the
// compressed copy takes "$".
constexpr char Queued = '$';
constexpr char Expanding = '#';

// The temporary folder followed by `resourceName`, its last character
// replaced by `lastCharacter` unless that is 0, into a MAX_PATH buffer; false
// when it does not fit (the buffer then holds it cut, fit for a message only).
bool TempPath(char* path, const char* resourceName, char lastCharacter);

// Refuses a payload one of whose paths is too long, with a message; FALSE.
BOOL RefuseLongPath(const char* resourceName, const char* path);
