// Shortcut files: shell links through the shell's link object, and Internet
// shortcuts written as text.
#pragma once
#include <windows.h>

HRESULT CreateShortcut(const char* targetPath, const char* linkPath, const char* arguments,
                       const char* description);
void CreateInternetShortcut(const char* filePath, const char* webAddress);

// Makes the start-up shortcut and the "Brenmark" Start-menu folder with its
// entries. False when the folder can be neither created nor found; then
// `errorCode` and `folderPath` (MAX_PATH bytes) say why and where.
BOOL CreateStartMenuEntries(DWORD* errorCode, char* folderPath);
// Clears, silently, what a cut-off run left beside the Start-menu entries
// (each is written beside its name and put in place when complete).
void RecoverStartMenuLeftovers();
