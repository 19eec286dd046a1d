#include "base/file_replacement.h"
#include "base/install_context.h"
#include "base/paths.h"
#include "base/registry.h"

namespace {

// The length of the drive ("C:") or network share ("\\server\share") that a
// full path lies on; 0 when it has neither form.
int VolumeRootLength(const char* path)
{
    if (path[0] && path[1] == ':')
        return 2;
    if (path[0] != '\\' || path[1] != '\\')
        return 0;
    int backslashes = 2;
    const char* p = path + 2;
    while (*p && !(*p == '\\' && ++backslashes == 4))
        p = CharNextA(p);
    return static_cast<int>(p - path);
}

bool OnSameVolume(const char* path, const char* other)
{
    int length = VolumeRootLength(path);
    return length > 0 && length == VolumeRootLength(other) && CompareTextNoCase(path, other, length) == 0;
}

// The folder part of `path`, its last backslash included.
void FolderOf(char* folder, const char* path)
{
    lstrcpyA(folder, path);
    char* name = folder;
    for (char* p = folder; *p; p = CharNextA(p))
        if (*p == '\\')
            name = p + 1;
    *name = '\0';
}

// The short (8.3) form of `path`, whose file name is already short: the
// platform's short form of its folder followed by the name. The path as it
// is when the platform cannot give one.
void ShortPath(char* shortPath, const char* path)
{
    char folder[MAX_PATH], shortFolder[MAX_PATH];
    FolderOf(folder, path);
    DWORD length = GetShortPathNameA(folder, shortFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !JoinPath(shortPath, shortFolder, path + lstrlenA(folder)))
        lstrcpyA(shortPath, path);
}

bool IsOwnShortForm(const char* path)
{
    char shortPath[MAX_PATH];
    ShortPath(shortPath, path);
    return SamePath(shortPath, path);
}

// Whether `path` is `prefix` followed by `rest`, `rest` compared as a path.
bool PrefixedPath(const char* path, const char* prefix, const char* rest)
{
    int length = lstrlenA(prefix);
    return CompareTextNoCase(path, prefix, length) == 0 && SamePath(path + length, rest);
}

// Whether Windows NT is already to move `queued` onto `destination` at the
// next restart: an earlier run asked for it and was cut off, or the restart
// has not happened yet. The platform records each request anew, and a second
// one would only fail at the restart. The record is pairs of "\??\" paths,
// the new name marked "!" for replace-existing; one too long for the buffer
// is not searched.
bool RestartMovePending(const char* queued, const char* destination)
{
    char pending[8192] = {};
    DWORD size = sizeof pending - 2;  // two terminators stay after what is read
    if (!RegReadMachineValue("System\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations",
                             pending, &size))
        return false;
    for (const char* from = pending; *from;) {
        const char* to = from + lstrlenA(from) + 1;
        if (PrefixedPath(from, "\\??\\", queued) && PrefixedPath(to, "!\\??\\", destination))
            return true;
        from = to + lstrlenA(to) + 1;
    }
    return false;
}

} // namespace

// Windows NT: never. The temporary folder may be writable by every user
// (NT 4 sets TEMP to %SystemDrive%\Temp, where Everyone has Change), and the
// restart would move whatever then lies at the name into the system folder;
// the file waits beside its destination instead. Windows 95 and 98 have no
// file permissions: the restart takes the file from the temporary folder
// when it can. They carry out WININIT.INI before Windows starts, with short
// names only and on one drive (a rename, not a copy), so there both paths
// must be their own short form and on the same drive.
bool RestartTakesFromTemp(const char* destination)
{
    return Context.Platform == Platform9x && OnSameVolume(Context.TempDir, destination)
        && IsOwnShortForm(Context.TempDir) && IsOwnShortForm(destination);
}

void ReplaceAtRestart(const char* queued, const char* destination, bool fromTemp)
{
    if (Context.Platform == PlatformNt) {
        if (!RestartMovePending(queued, destination))
            MoveFileExA(queued, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
    } else if (fromTemp) {
        // WININIT.INI holds one line per destination, which a second request
        // replaces.
        WritePrivateProfileStringA("rename", destination, queued, "WININIT.INI");
    } else {
        char shortDestination[MAX_PATH], shortQueued[MAX_PATH];
        ShortPath(shortDestination, destination);
        ShortPath(shortQueued, queued);
        WritePrivateProfileStringA("rename", shortDestination, shortQueued, "WININIT.INI");
    }
}

void SiblingPath(char* sibling, const char* path, char lastCharacter)
{
    lstrcpyA(sibling, path);
    sibling[lstrlenA(sibling) - 1] = lastCharacter;
}

HANDLE CreateOwnFile(const char* path, DWORD attributes)
{
    constexpr int Tries = 3;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int tried = 0; tried < Tries && file == INVALID_HANDLE_VALUE; ++tried) {
        DeleteFileA(path);
        file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
        DWORD error = GetLastError();
        if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;  // not a name taken again: another try would fail the same way
    }
    return file;
}

bool ReplaceWithStaged(const char* destination, const char* staged)
{
    if (MoveFileExA(staged, destination, MOVEFILE_REPLACE_EXISTING))
        return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    char aside[MAX_PATH];
    SiblingPath(aside, destination, '~');
    const bool existed = GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES;
    if (existed) {
        SetFileAttributesA(aside, FILE_ATTRIBUTE_NORMAL);  // left by an earlier run
        DeleteFileA(aside);
        if (!MoveFileA(destination, aside))
            return false;
    }
    if (!MoveFileA(staged, destination)) {
        DWORD error = GetLastError();
        if (existed)
            MoveFileA(aside, destination);
        SetLastError(error);
        return false;
    }
    if (existed)
        DeleteFileA(aside);
    return true;
}

void RecoverReplaced(const char* destination)
{
    char aside[MAX_PATH];
    SiblingPath(aside, destination, '~');
    if (!IsFile(aside))
        return;
    if (GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES)
        RemoveFile(aside);
    else
        MoveFileA(aside, destination);
}

void RecoverStaged(const char* destination, bool keepStaged)
{
    RecoverReplaced(destination);
    if (!keepStaged) {
        char staged[MAX_PATH];
        SiblingPath(staged, destination, '$');
        RemoveFile(staged);
    }
}

bool IsFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveFile(const char* path)
{
    if (!IsFile(path))
        return;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}
