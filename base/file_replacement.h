// How a new file takes an old one's place, now or at the next restart.
//
// A new file is written beside its destination under the destination's name
// with its last character replaced by "$", and takes the destination's place
// in one step where the platform can; so a run cut off at any instant leaves
// the old file or the new one at the name, and the next run clears what it
// left beside it. A file in use waits for the restart under a name of its
// own, which the platform's record of the move names.
//
// Setup runs as an administrator, and the folders it writes to may be
// writable by other users (the temporary folder always may be; on Windows
// NT 4 System32 too, KB Q172008). So every file Setup writes is one it
// created itself, exclusively, and keeps open until it is complete: a name
// that someone else planted (a hard link to another file) is never written
// through, and nothing is read back by name.
#pragma once
#include <windows.h>

// `path` with its last character replaced: a name beside it in its own
// folder, of the same length, so it fits wherever the path fits. Every name
// this is used with ends in an ASCII letter or "$".
void SiblingPath(char* sibling, const char* path, char lastCharacter);

// Creates `path` as a new file that only this handle may use (CREATE_NEW,
// no sharing), for reading and writing. Whatever lies at the name is removed
// first with DeleteFileA alone: a link's target keeps its attributes and
// bytes. A name taken again at the moment of creation is removed and tried
// anew, three tries in all. INVALID_HANDLE_VALUE with the platform's error
// when the file cannot be created.
HANDLE CreateOwnFile(const char* path, DWORD attributes);

// Puts the complete file `staged` in the destination's place, so that the
// destination's name always holds the old file or the new one. Windows NT
// replaces it in one step (MoveFileExA). Windows 95 and 98 have no
// MoveFileExA (it fails with ERROR_CALL_NOT_IMPLEMENTED there): the old file
// is renamed aside ("~") first and deleted only once the new file is in
// place, and renamed back when the new file cannot be put there. Renames
// within one folder need no room on the drive. False, with the platform's
// error, when the new file could not be put in place; `staged` then stays.
bool ReplaceWithStaged(const char* destination, const char* staged);

// Whether a file in use at `destination` waits for the restart in the
// temporary folder (Windows 95 and 98, where the restart can take it from
// there) rather than beside the destination.
bool RestartTakesFromTemp(const char* destination);

// Has the platform move `queued` onto `destination` at the next restart:
// Windows NT's pending move (asked for once: a request already recorded is
// not repeated), or a line in WININIT.INI's "rename" section on Windows 95
// and 98, in short names when the file waits beside its destination.
// Neither result is tested: the completion dialog offers the restart either
// way.
void ReplaceAtRestart(const char* queued, const char* destination, bool fromTemp);

// What a cut-off replacement of `destination` left beside it: an old file
// renamed aside ("~") is an old copy once the destination is there again
// (deleted), otherwise the only one, which takes its name back.
void RecoverReplaced(const char* destination);
// The same, and a staged file ("$") is partial and deleted, unless
// `keepStaged` (a move at the restart may point at it).
void RecoverStaged(const char* destination, bool keepStaged);

bool IsFile(const char* path);
// Deletes a file, a read-only one too; a folder of that name stays. Only for
// folders that other users cannot write: the attributes are changed through
// the name.
void RemoveFile(const char* path);
