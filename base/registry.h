// The registry layer: every read, write and delete of a registry value goes
// through these operations. Each opens its key with full access, does one
// thing and closes the key again; nothing is cached.
#pragma once
#include <windows.h>

// Reads a value of any type as text: what was read always ends in a
// terminator inside the buffer, and a value that fills the buffer without one
// counts as too large. A failed read leaves an empty text.
BOOL RegReadValue(HKEY root, const char* subkey, const char* valueName,
                  void* buffer, DWORD* byteCount, DWORD* type);
BOOL RegReadMachineValue(const char* subkey, const char* valueName,
                         void* buffer, DWORD* byteCount);
// Reads a value as text, as RegReadValue does, into a buffer of MAX_PATH
// bytes; returns the platform's error code (ERROR_SUCCESS when read).
LONG RegGetString(HKEY root, const char* subkey, const char* valueName, char* buffer);

BOOL RegWriteValue(HKEY root, const char* subkey, const char* valueName,
                   const void* data, DWORD byteCount, DWORD type);
BOOL RegWriteString(HKEY root, const char* subkey, const char* valueName, const char* text);
BOOL RegWriteMachineString(const char* subkey, const char* valueName, const char* text);
BOOL RegWriteMachineBinary(const char* subkey, const char* valueName, DWORD value);
BOOL RegRemoveValue(HKEY root, const char* subkey, const char* valueName);
