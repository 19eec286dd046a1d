// The installed driver file: whether it can be deleted decides between a
// fresh install and an upgrade. A deleted file is kept aside until the user
// has agreed to install, so that "Cancel" does not leave the machine without
// its working driver.
#include "setup/setup_sequence.h"
#include "setup/install_context.h"

#include <cstdio>

namespace {

char DriverPath[MAX_PATH];
char BackupPath[MAX_PATH];
bool HaveBackup;

} // namespace

BOOL DeleteOldDriver()
{
    HaveBackup = false;
    snprintf(DriverPath, sizeof DriverPath,
             Context.Platform == PlatformNt ? "%sVesk.Dll" : "%sVesk.Drv", Context.SystemDir);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(DriverPath, &found);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(search);

    int n = snprintf(BackupPath, sizeof BackupPath, "%sVESKOLD.BAK", Context.TempDir);
    if (n > 0 && n < MAX_PATH)
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
    if (MoveFileExA(BackupPath, DriverPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        HaveBackup = false;
}

void DiscardOldDriverBackup()
{
    if (HaveBackup)
        DeleteFileA(BackupPath);
    HaveBackup = false;
}
