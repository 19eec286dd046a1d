// The Start-menu entries: the start-up shortcut of the mixer and the
// "Brenmark" program group with its shortcuts.
#include "shell/shortcuts.h"
#include "base/paths.h"
#include "base/install_context.h"
#include "base/message.h"
#include "base/registry.h"
#include "base/file_replacement.h"


namespace {

constexpr char ShellFoldersKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char WebSiteAddress[] = "http://www.brenmark.com/";

// One entry of the program group; a null target directory marks the
// Internet shortcut, which points at the web site.
struct MenuEntry {
    const char* LinkFormat;
    const char* TargetFormat;
    const char* TargetDir;
    const char* Description;
};

const MenuEntry GroupEntries[] = {
    {"%s\\Marlune Mixer.lnk", "%sMixer.exe", Context.AppDir,
     "Software control of the Marlune settings"},
    {"%s\\Brenmark Web Site.url", nullptr, nullptr, nullptr},
    {"%s\\Online Registration Wizard.lnk", "%sRegister.exe", Context.AppDir,
     "Register your Marlune (requires an internet connection)"},
    {"%s\\Marlune Release Notes.lnk", "%sMarluneReleaseNotes.txt", Context.AppDir,
     "Revision History for the Marlune Driver"},
    {"%s\\Uninstall Marlune.lnk", "%sRmVesk.exe", Context.WindowsDir,
     "Remove the Marlune Driver and Mixer application"},
};

// Finds the platform's Programs folder: the all-users menu on Windows NT,
// the current user's menu elsewhere. False when the fallback below the
// Windows directory does not fit; `programs` then holds it cut short. A
// missing value on Windows 9x is told when `tell` is set.
bool FindProgramsFolder(char* programs, bool tell = true)
{
    LONG result;
    const char* fallback;
    if (Context.Platform == PlatformNt) {
        result = RegGetString(HKEY_LOCAL_MACHINE, ShellFoldersKey, "Common Programs", programs);
        fallback = "%sProfiles\\All Users\\Start Menu\\Programs";
    } else {
        result = RegGetString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", programs);
        fallback = "%sStart Menu\\Programs";
        if (result != ERROR_SUCCESS && tell)
            ShowWarning("RegGetString Failed!");
    }
    // An empty value names no folder: "\Brenmark" would land in the root of
    // the current drive. It is taken like a missing one, without a message.
    if (result == ERROR_SUCCESS && programs[0] != '\0')
        return true;
    return FormatPath(programs, fallback, Context.WindowsDir);
}

// Makes one shortcut when its target and link path both fit their buffers;
// a path that would not fit is skipped like a shortcut that could not be
// written, never saved under a cut-off name.
void MakeShortcut(const char* folder, const char* linkFormat, const char* targetFormat,
                  const char* targetDir, const char* arguments, const char* description)
{
    char link[MAX_PATH];
    if (!FormatPath(link, linkFormat, folder))
        return;
    if (!targetFormat) {
        CreateInternetShortcut(link, WebSiteAddress);
        return;
    }
    char target[MAX_PATH];
    if (!FormatPath(target, targetFormat, targetDir))
        return;
    CreateShortcut(target, link, arguments, description);
}

constexpr char StartupLinkFormat[] = "%s\\Startup\\Marlune TaskBar Icon.lnk";

} // namespace

void RecoverStartMenuLeftovers()
{
    char programs[MAX_PATH], folder[MAX_PATH], link[MAX_PATH];
    if (!FindProgramsFolder(programs, false))
        return;
    if (FormatPath(link, StartupLinkFormat, programs))
        RecoverStaged(link, false);
    if (!FormatPath(folder, "%s\\Brenmark", programs))
        return;
    for (const MenuEntry& entry : GroupEntries)
        if (FormatPath(link, entry.LinkFormat, folder))
            RecoverStaged(link, false);
}

BOOL CreateStartMenuEntries(DWORD* errorCode, char* folderPath)
{
    // Paths that do not fit are cut only inside their ASCII tails (the
    // Programs folder and the Windows directory themselves always fit), so
    // a cut-short path never ends in half a double-byte character.
    char programs[MAX_PATH];
    char folder[MAX_PATH];
    DWORD error = ERROR_SUCCESS;
    if (!FindProgramsFolder(programs)) {
        // Refused as the platform refuses any over-long path.
        lstrcpynA(folder, programs, MAX_PATH);
        error = ERROR_FILENAME_EXCED_RANGE;
    } else {
        MakeShortcut(programs, StartupLinkFormat, "%sMixer.exe",
                     Context.AppDir, "TASKBAR", nullptr);
        if (!FormatPath(folder, "%s\\Brenmark", programs))
            error = ERROR_FILENAME_EXCED_RANGE;
        else if (!CreateDirectoryA(folder, nullptr))
            error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS)  // an earlier install made it
            error = ERROR_SUCCESS;
    }
    if (error != ERROR_SUCCESS) {
        *errorCode = error;
        lstrcpynA(folderPath, folder, MAX_PATH);
        return FALSE;
    }

    for (const MenuEntry& entry : GroupEntries)
        MakeShortcut(folder, entry.LinkFormat, entry.TargetFormat, entry.TargetDir, nullptr,
                     entry.Description);
    return TRUE;
}
