// The installed driver file: whether it is in use decides between a fresh
// install and an upgrade. The test leaves the driver where it is, so that
// "Cancel", a failed install, a power cut or an ended process never leave the
// machine without it; a driver that is not in use is replaced like any other
// file, only once the new one is complete.
//
// A driver that could be deleted is one that can be opened for writing with
// no sharing at all, and the other way round:
// - Windows 95 and 98 keep a loaded driver open ("before the original file is
//   loaded and locked open", KB Q172456; "Windows 95/98 does not allow a .DLL
//   file to be replaced if the DLL is currently loaded", Platform SDK,
//   "Replacing DLLs in Memory") and never delete an open file; an exclusive
//   open fails on any file that is open.
// - Windows NT refuses both for a loaded image: a file mapped as an image
//   cannot be opened for write or delete access (sharing violation), whether
//   or not a handle to it is open ("DeleteFile fails if an application
//   attempts to delete a file that is open for normal I/O or as a
//   memory-mapped file", DeleteFile, Platform SDK; Wine's server does the
//   same in check_sharing, server/fd.c: FILE_MAPPING_IMAGE refuses
//   FILE_WRITE_DATA and FILE_DELETE_ON_CLOSE).
// - Both refuse a read-only file and a folder, which is checked from the
//   attributes first, so that a process allowed to write the file anyway
//   (Wine run by root) keeps to the platform's rule.
// Opening for writing with OPEN_EXISTING changes neither the bytes nor the
// times of the file.
#include "setup/setup_sequence.h"
#include "setup/install_context.h"
#include "setup/paths.h"

BOOL OldDriverInUse()
{
    char driver[MAX_PATH];
    // Start-up made sure SystemDir has room for eight more characters.
    if (!JoinPath(driver, Context.SystemDir, Context.Platform == PlatformNt ? "Vesk.Dll" : "Vesk.Drv"))
        return FALSE;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(driver, &found);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;  // a first install
    FindClose(search);
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
        return TRUE;
    HANDLE file = CreateFileA(driver, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return TRUE;
    CloseHandle(file);
    return FALSE;
}
