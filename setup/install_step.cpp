// The install step: progress window, payload files, Start menu and the
// driver's registrations, in the order the platform needs them.
#include "setup/setup_sequence.h"
#include "base/install_context.h"
#include "base/message.h"
#include "base/paths.h"
#include "base/system_library.h"
#include "payload/payload.h"
#include "registration/registrations.h"
#include "shell/shortcuts.h"
#include "wizard/progress.h"

#include <objbase.h>
#include "base/text.h"

namespace {

// A directory followed by a file name; an over-long result is told and
// refused instead of being cut short.
bool JoinPathOrTell(char* path, const char* directory, const char* name)
{
    if (JoinPath(path, directory, name))
        return true;
    char text[MAX_PATH + 120];
    FormatText(text, sizeof text, "The path of %s is too long:\n\n%.260s", name, directory);
    ShowWarning(text);
    path[0] = '\0';
    return false;
}

void DeleteInDirectory(const char* directory, const char* name)
{
    char path[MAX_PATH];
    if (JoinPathOrTell(path, directory, name))
        DeleteFileA(path);
}

void RegisterAsioModule(const char* moduleName)
{
    char path[MAX_PATH];
    if (JoinPathOrTell(path, Context.SystemDir, moduleName))
        RegisterAsioDriver(path);
}

} // namespace

HCURSOR SetWaitCursor()
{
    return SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

void RestoreCursor(HCURSOR previous)
{
    SetCursor(previous);
}

BOOL RunInstall()
{
    pCoInitialize(nullptr);
    // Windows 95 and 98 refuse to start a thread without a place for its id.
    DWORD progressThreadId;
    HANDLE progressThread = CreateThread(nullptr, 0, ProgressThread, nullptr, 0, &progressThreadId);
    if (progressThread)
        CloseHandle(progressThread);  // the thread runs on; its handle is not needed
    HCURSOR previous = SetWaitCursor();

    const bool nt5 = Context.Platform == PlatformNt && Context.OsMajorVersion > 4;
    if (nt5) {
        // The precompiled form of a stale INF would shadow the new INF file.
        // The INF itself stays at its name until the new one, complete,
        // replaces it (CopyFiles): deleting it first left the machine without
        // one when the run was cut off before.
        DeleteInDirectory(Context.InfDir, "Vesk.PNF");
    }

    if (!CopyFiles()) {
        CloseProgressWindow();
        RestoreCursor(previous);
        ShowWarning("CopyFiles Failed!");
        return FALSE;
    }

    DWORD errorCode = 0;
    char folder[MAX_PATH] = "";
    if (!CreateStartMenuEntries(&errorCode, folder)) {
        CloseProgressWindow();
        RestoreCursor(previous);
        char text[80];
        FormatText(text, sizeof text, "Unable to create Vesk Start Menu folder! [%08lx]",
                   static_cast<unsigned long>(errorCode));
        ShowWarning(text, folder);
        return FALSE;
    }

    char uninstaller[MAX_PATH];
    if (JoinPathOrTell(uninstaller, Context.WindowsDir, "RmVesk.exe"))
        WriteUninstallEntry(uninstaller);

    if (Context.Platform == Platform9x) {
        RegisterAsioModule("VeskASIO.Dll");
        WritePciBusValue();
    } else {
        RegisterAsioModule("Vesk.Dll");
        WriteDriverDescription();
        if (Context.OsMajorVersion >= 5 && Context.RegisterDevices)
            RegisterPnpDevices();
        ReorderDriverSlots();
    }

    CloseProgressWindow();
    RestoreCursor(previous);

    if (Context.Platform == PlatformNt && !Context.Upgrade)
        InstallAndEnableDriver();
    return TRUE;
}
