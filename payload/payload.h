// The carried files: the catalogue of destinations and their extraction.
#pragma once
#include <windows.h>

// Sets `destination` (MAX_PATH bytes) to where `resourceName` is installed on
// this platform, or to "" when it is not; sets `deferred` only for the
// entries replaced at the next restart. Returns FALSE, with "" and after
// telling the user, when the destination would not fit in MAX_PATH bytes.
BOOL MapPayloadDestination(const char* resourceName, char* destination, BOOL* deferred);
// Installs every payload resource of the program's image in catalogue order;
// FALSE after the first failure, which has been reported.
BOOL CopyFiles();
BOOL CALLBACK EnumPayloadProc(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param);
int LoadPayloadResource(const char* name, HGLOBAL* handle, const BYTE** bytes, DWORD* size);
// Installs one payload from its SZDD bytes; TRUE also when it is not
// installed on this platform. A payload with a path too long for its MAX_PATH
// buffer, for the messages naming it, or, for a destination written now, for
// LZOpenFileA (127 characters) is refused with a message before anything is
// written.
BOOL ExpandPayload(const char* name, const BYTE* bytes, DWORD size);
// Recovers or removes what a run cut off left, silently: an old file renamed
// aside ("Name.ex~") takes its name back when the name is empty and is
// deleted otherwise; a partial expansion beside its destination ("Name.ex$",
// and "Name.ex#" for a driver replaced at the restart) and a compressed copy
// in the temporary folder are deleted. In an upgrade (the driver in use) the
// files the restart is to move stay. Only these names of the catalogue's
// files are touched; nothing else in the temporary folder is moved or
// deleted.
void RecoverLeftovers(BOOL upgrade);
