// The installed driver file: whether it can be deleted decides between a
// fresh install and an upgrade. A deleted file is kept aside until the user
// has agreed to install, so that "Cancel" does not leave the machine without
// its working driver.
#include "setup/setup_sequence.h"
#include "setup/install_context.h"
#include "setup/paths.h"


namespace {

char DriverPath[MAX_PATH];
char BackupPath[MAX_PATH];
bool HaveBackup;

} // namespace

BOOL DeleteOldDriver()
{
    HaveBackup = false;
    // Start-up made sure SystemDir has room for eight more characters.
    if (!JoinPath(DriverPath, Context.SystemDir, Context.Platform == PlatformNt ? "Vesk.Dll" : "Vesk.Drv"))
        return FALSE;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(DriverPath, &found);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(search);

    if (JoinPath(BackupPath, Context.TempDir, "VESKOLD.BAK"))
        HaveBackup = CopyFileA(DriverPath, BackupPath, FALSE) != FALSE;
    if (!DeleteFileA(DriverPath)) {
        DiscardOldDriverBackup();  // in use: upgrade mode, the file stays
        return TRUE;
    }
    return FALSE;
}

void RestoreOldDriver()
{
    if (!HaveBackup)
        return;
    // Copied back, then deleted: Windows 95 and 98 have no MoveFileExA, and
    // the temporary folder may be on another drive.
    if (CopyFileA(BackupPath, DriverPath, FALSE)) {
        DeleteFileA(BackupPath);
        HaveBackup = false;
    }
}

void DiscardOldDriverBackup()
{
    if (HaveBackup)
        DeleteFileA(BackupPath);
    HaveBackup = false;
}
