#include "setup/startup.h"
#include "base/install_context.h"
#include "base/message.h"
#include "base/registry.h"
#include "base/paths.h"
#include "base/text.h"
#include "wizard/wizard.h"

namespace {

constexpr char AdminMessage[] =
    "You must have Adminstrator privileges to run this program!\n\n"
    "Please logon to Windows using an account with Adminstrator \n"
    "privileges and run this program again.";

// Refuses a directory that, with the text still to be appended to it and the
// terminator, would not fit in one path field. Nothing has been changed on
// the machine when this is shown.
BOOL RefuseLongPath(const char* path)
{
    char text[2 * MAX_PATH + 160];
    // At most MAX_PATH + 20 characters of the path are shown.
    FormatText(text, sizeof text,
               "The folder path below is too long for this setup program:\n\n%.280s\n\n"
               "Please choose a shorter folder and run this program again.",
               path);
    ShowWarning(text, nullptr);
    return FALSE;
}

// Room for one more backslash and the terminator.
bool HasRoomForBackslash(const char* path)
{
    return lstrlenA(path) <= MAX_PATH - 2;
}

// Room for a directory that is too long for a field, so that the message can
// name it.
constexpr DWORD LongPathSize = 4 * MAX_PATH;

// Fills a directory field from a platform call that returns the text length,
// or the size needed when the field is too small. An over-long directory is
// refused by name: the platform is asked again with room enough for it.
BOOL ReadDirectory(char* field, UINT (WINAPI* get)(LPSTR, UINT))
{
    UINT n = get(field, MAX_PATH);
    if (n >= MAX_PATH) {
        field[0] = '\0';
        char longPath[LongPathSize] = "";
        if (get(longPath, LongPathSize) >= LongPathSize)
            longPath[0] = '\0';
        return RefuseLongPath(longPath);
    }
    if (!HasRoomForBackslash(field))
        return RefuseLongPath(field);
    AddTrailingBackslash(field);
    return TRUE;
}

// The temporary directory that the platform found too long for MAX_PATH.
// Windows gives it to a larger buffer. A platform that refuses any path
// longer than MAX_PATH (Wine does) is asked where it comes from, in the order
// of lookup the platforms document: TMP, TEMP, the user's profile, and the
// current directory (older versions' last source; the Windows directory,
// newer versions' last source, is known to be short by now).
void ReadLongTempPath(char* buffer)
{
    DWORD n = GetTempPathA(LongPathSize, buffer);
    if (n > 0 && n < LongPathSize)
        return;
    constexpr const char* Variables[] = {"TMP", "TEMP", "USERPROFILE"};
    for (const char* name : Variables) {
        n = GetEnvironmentVariableA(name, buffer, LongPathSize);
        if (n > 0 && n < LongPathSize)
            return;
    }
    n = GetCurrentDirectoryA(LongPathSize, buffer);
    if (n == 0 || n >= LongPathSize)
        buffer[0] = '\0';
}

// The named mutex held while this copy runs.
HANDLE SingleRunMutex;

// The window of the copy already running that the user last saw: the first
// top-level window carrying the wizard's mark (its message boxes have no
// owner); nothing when that copy shows none of them just now.
void BringFirstCopyForward()
{
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT))
        if (GetWindowLongA(window, GWL_USERDATA) == SetupWindowMark) {
            SetForegroundWindow(window);
            return;
        }
}

// Whether no other copy of the setup runs; from now on this one holds the
// mutex that tells the next copy so. Windows 2000 and later keep names per
// session (Terminal Services, XP's user switching) unless they begin with
// "Global\"; Windows 95, 98 and NT 4 allow no backslash in a name ("can
// include any character except the backslash", MSDN 1998, Object Names).
// A mutex that cannot be made does not keep the setup from running: the name
// taken by another kind of object, or by a mutex that this account may not
// open (ERROR_ACCESS_DENIED), which only a user who is no administrator can
// have made, since this setup runs as one: not a copy of this setup, and
// such a user must not be able to keep the driver from being installed.
bool ClaimSingleRun()
{
    if (SingleRunMutex)
        return true;  // claimed by an earlier start-up of this process
    const bool global = Context.Platform == PlatformNt && Context.OsMajorVersion >= 5;
    SetLastError(ERROR_SUCCESS);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, global ? "Global\\MarluneDriverSetup" : "MarluneDriverSetup");
    DWORD error = GetLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS) {
        SingleRunMutex = mutex;
        return true;
    }
    if (!mutex)
        return true;
    CloseHandle(mutex);
    BringFirstCopyForward();
    return false;
}

} // namespace

void EndSingleRun()
{
    if (SingleRunMutex)
        CloseHandle(SingleRunMutex);
    SingleRunMutex = nullptr;
}

void AddTrailingBackslash(char* path)
{
    char* last = nullptr;
    char* end = path;
    while (*end) {
        last = end;
        end = CharNextA(end);
    }
    if (last && end - last == 1 && *last == '\\')
        return;
    end[0] = '\\';
    end[1] = '\0';
}

BOOL SetPrivilege(HANDLE token, const char* privilegeName, BYTE enable)
{
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    // Without the identifier there is nothing to adjust.
    if (!LookupPrivilegeValueA(nullptr, privilegeName, &privileges.Privileges[0].Luid))
        return FALSE;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    // ERROR_NOT_ALL_ASSIGNED: the token does not hold the privilege at all.
    return GetLastError() == ERROR_SUCCESS;
}

BOOL EnableLoadDriverPrivilege()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
        return FALSE;
    BOOL enabled = SetPrivilege(token, "SeLoadDriverPrivilege", TRUE);
    CloseHandle(token);
    return enabled;
}

BOOL RunStartup(HINSTANCE instance, const char* commandTail)
{
    if (commandTail && TextEquals(commandTail, "NOW2K"))
        Context.RegisterDevices = FALSE;

    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = 148;
    if (!GetVersionExA(&version)) {
        ShowWarning("GetVersionEx Failed!");
        return FALSE;
    }
    Context.OsMajorVersion = version.dwMajorVersion;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        Context.Platform = PlatformNt;
        if (!EnableLoadDriverPrivilege()) {
            ShowWarning(AdminMessage);
            return FALSE;
        }
    } else {
        Context.Platform = Platform9x;
    }
    Context.Instance = instance;
    // A second copy changes nothing on the machine: it only brings the first
    // one forward.
    if (!ClaimSingleRun())
        return FALSE;

    // Every directory is composed and checked for length before anything on
    // the machine is created, so an over-long path is refused with nothing
    // changed.
    if (!ReadDirectory(Context.WindowsDir, GetWindowsDirectoryA)
        || !ReadDirectory(Context.SystemDir, GetSystemDirectoryA))
        return FALSE;
    if (!JoinPath(Context.DriversDir, Context.SystemDir, "Drivers\\"))
        return RefuseLongPath(Context.SystemDir);
    if (!JoinPath(Context.InfDir, Context.WindowsDir, "Inf\\"))
        return RefuseLongPath(Context.WindowsDir);
    // A temporary path longer than the field is reported either as the size
    // needed or, by some platforms, as 0 with ERROR_FILENAME_EXCED_RANGE.
    DWORD tempLength = GetTempPathA(MAX_PATH, Context.TempDir);
    if (tempLength >= MAX_PATH || (tempLength == 0 && GetLastError() == ERROR_FILENAME_EXCED_RANGE)) {
        Context.TempDir[0] = '\0';
        char longTemp[LongPathSize];
        ReadLongTempPath(longTemp);
        return RefuseLongPath(longTemp);
    }

    char programFiles[MAX_PATH];
    if (RegGetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                     "ProgramFilesDir", programFiles) != ERROR_SUCCESS)
        FormatText(programFiles, sizeof programFiles, "%c:\\Program Files", Context.WindowsDir[0]);
    if (!JoinPath(Context.AppDir, programFiles, "\\Brenmark")
        || !HasRoomForBackslash(Context.AppDir)) {
        Context.AppDir[0] = '\0';
        return RefuseLongPath(programFiles);
    }

    if (!CreateDirectoryA(Context.TempDir, nullptr)) {
        DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_ALREADY_EXISTS) {
            ShowWarning("Could not create the temporary directory!", Context.TempDir);
            return FALSE;
        }
    }

    CreateDirectoryA(Context.AppDir, nullptr);
    AddTrailingBackslash(Context.AppDir);
    return TRUE;
}
