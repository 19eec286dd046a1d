// The installed driver file: whether it can be deleted decides between a
// fresh install and an upgrade. A deleted file is kept aside until the new
// driver is in place, so that "Cancel", or an install that fails before it,
// does not leave the machine without its working driver. A driver that cannot
// be copied aside completely is never deleted: it is treated as in use, and
// the new driver replaces it at the next restart.
#include "setup/setup_sequence.h"
#include "setup/install_context.h"
#include "setup/paths.h"


namespace {

char DriverPath[MAX_PATH];
char BackupPath[MAX_PATH];
bool HaveBackup;

// Whether `path` names a file, with what the search found of it.
bool FindFile(const char* path, WIN32_FIND_DATAA* found)
{
    HANDLE search = FindFirstFileA(path, found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

// Deletes the backup; a read-only one (copied from a read-only driver file)
// is made writable first.
void DeleteBackup()
{
    SetFileAttributesA(BackupPath, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(BackupPath);
}

// Copies the driver aside, over a backup left by an earlier run. True only
// when the copy holds every byte of the driver.
bool BackUpDriver(const WIN32_FIND_DATAA& driver)
{
    if (!JoinPath(BackupPath, Context.TempDir, "VESKOLD.BAK"))
        return false;
    SetFileAttributesA(BackupPath, FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(DriverPath, BackupPath, FALSE))
        return false;
    WIN32_FIND_DATAA copy;
    if (!FindFile(BackupPath, &copy))
        return false;
    if (copy.nFileSizeLow == driver.nFileSizeLow && copy.nFileSizeHigh == driver.nFileSizeHigh)
        return true;
    DeleteBackup();
    return false;
}

} // namespace

BOOL DeleteOldDriver()
{
    HaveBackup = false;
    // Start-up made sure SystemDir has room for eight more characters.
    if (!JoinPath(DriverPath, Context.SystemDir, Context.Platform == PlatformNt ? "Vesk.Dll" : "Vesk.Drv"))
        return FALSE;
    WIN32_FIND_DATAA found;
    if (!FindFile(DriverPath, &found))
        return FALSE;

    // Without a complete copy the driver stays where it is: upgrade mode.
    if (!BackUpDriver(found))
        return TRUE;
    HaveBackup = true;
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
    // A new driver file that has been put in place stays, and the backup is
    // no longer needed. Otherwise the old one is copied back, then the backup
    // deleted: Windows 95 and 98 have no MoveFileExA, and the temporary
    // folder may be on another drive. A backup that cannot be copied back is
    // kept, the only copy of the old driver.
    if (GetFileAttributesA(DriverPath) == INVALID_FILE_ATTRIBUTES && !CopyFileA(BackupPath, DriverPath, TRUE))
        return;
    DiscardOldDriverBackup();
}

void DiscardOldDriverBackup()
{
    if (HaveBackup)
        DeleteBackup();
    HaveBackup = false;
}
