// The registry layer: every read, write and delete of a registry value goes
// through these operations. Each opens its key with full access, does one
// thing and closes the key again; nothing is cached.
#pragma once
#include <windows.h>

BOOL RegReadValue(HKEY root, const char* subkey, const char* valueName,
                  void* buffer, DWORD* byteCount, DWORD* type);
BOOL RegReadMachineValue(const char* subkey, const char* valueName,
                         void* buffer, DWORD* byteCount);
// Reads a string into a buffer of MAX_PATH bytes; returns the platform's
// error code (ERROR_SUCCESS when read).
LONG RegGetString(HKEY root, const char* subkey, const char* valueName, char* buffer);

BOOL RegWriteValue(HKEY root, const char* subkey, const char* valueName,
                   const void* data, DWORD byteCount, DWORD type);
BOOL RegWriteString(HKEY root, const char* subkey, const char* valueName, const char* text);
BOOL RegWriteMachineString(const char* subkey, const char* valueName, const char* text);
BOOL RegWriteMachineBinary(const char* subkey, const char* valueName, DWORD value);
BOOL RegRemoveValue(HKEY root, const char* subkey, const char* valueName);
