// Files replaced only when complete: a new file is written beside its
// destination under the destination's name with its last character replaced
// by "$", and takes the destination's place in one step where the platform
// can; so a run cut off at any instant leaves the old file or the new one at
// the name, and the next run clears what it left beside it.
#pragma once
#include <windows.h>

// `path` with its last character replaced: a name beside it in its own
// folder, of the same length, so it fits wherever the path fits. Every name
// this is used with ends in an ASCII letter.
void SiblingPath(char* sibling, const char* path, char lastCharacter);

// Puts the complete file `staged` in the destination's place, so that the
// destination's name always holds the old file or the new one. Windows NT
// replaces it in one step (MoveFileExA). Windows 95 and 98 have no
// MoveFileExA (it fails with ERROR_CALL_NOT_IMPLEMENTED there): the old file
// is renamed aside ("~") first and deleted only once the new file is in
// place, and renamed back when the new file cannot be put there. Renames
// within one folder need no room on the drive. False, with the platform's
// error, when the new file could not be put in place; `staged` then stays.
bool ReplaceWithStaged(const char* destination, const char* staged);

// What a cut-off replacement of `destination` left beside it: an old file
// renamed aside is an old copy once the destination is there again (deleted),
// otherwise the only one, which takes its name back; a staged file is partial
// and deleted, unless `keepStaged` (a move at the restart may point at it).
void RecoverStaged(const char* destination, bool keepStaged);

bool IsFile(const char* path);
// Deletes a file, a read-only one too; a folder of that name stays.
void RemoveFile(const char* path);
