#include "base/staged_file.h"

void SiblingPath(char* sibling, const char* path, char lastCharacter)
{
    lstrcpyA(sibling, path);
    sibling[lstrlenA(sibling) - 1] = lastCharacter;
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

void RecoverStaged(const char* destination, bool keepStaged)
{
    char aside[MAX_PATH], staged[MAX_PATH];
    SiblingPath(aside, destination, '~');
    if (IsFile(aside) && GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES)
        RemoveFile(aside);
    else if (IsFile(aside))
        MoveFileA(aside, destination);
    if (!keepStaged) {
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
