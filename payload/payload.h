// The carried files: the catalogue of destinations and their extraction.
#pragma once
#include <windows.h>

// Sets `destination` (MAX_PATH bytes) to where `resourceName` is installed on
// this platform, or to "" when it is not; sets `deferred` only for the
// entries replaced at the next restart.
void MapPayloadDestination(const char* resourceName, char* destination, BOOL* deferred);
BOOL CopyFiles();
BOOL CALLBACK EnumPayloadProc(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param);
int LoadPayloadResource(const char* name, HGLOBAL* handle, const BYTE** bytes, DWORD* size);
BOOL ExpandPayload(const char* name, const BYTE* bytes, DWORD size);
