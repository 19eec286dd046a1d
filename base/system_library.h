// Libraries of the system folder, loaded by their full path. Windows 95 to XP
// look for a library named without a path in the program's own folder first,
// unless it is a KnownDLL; a file planted beside Setup.exe (a download
// folder, a network share) would then run with the rights of whoever runs the
// setup. So Setup.exe imports only KERNEL32, USER32, GDI32 and ADVAPI32, and
// reaches every other library through the slots below or LoadSystemLibrary.
#pragma once
#include <windows.h>
#include <lzexpand.h>
#include <mmsystem.h>
#include <objbase.h>
#include <array>

// `fileName` in the system folder (GetSystemDirectoryA), into a MAX_PATH
// buffer; false when it does not fit.
bool FormatSystemPath(char* path, const char* fileName);

// Loads `fileName` from the system folder (GetSystemDirectoryA) by its full
// path; null when that path does not fit in MAX_PATH or the library cannot be
// loaded. Never falls back to a bare name.
HMODULE LoadSystemLibrary(const char* fileName);

// Narrows the library search where the platform can, first thing in the
// process: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) (Windows 7,
// and Vista with KB2533623) searches the system folder alone, so neither the
// program's folder nor the current one; SetDllDirectoryA("") (XP SP1 and
// later) takes only the current folder out of the search, the program's
// folder stays in it. Both are looked up by name because Windows 95 to XP RTM
// lack them. Nowhere is the program's folder out of the search for a bare
// name: hence the full paths.
void HardenLibrarySearch();

// The functions of LZ32, WINMM and OLE32 that the setup calls. Until
// LoadSystemImports has filled a slot, or when its library cannot be loaded,
// it holds a stand-in that fails as the platform's function fails (an LZ
// error, no driver, no COM), so every caller takes its ordinary failure path.
extern decltype(&LZOpenFileA) pLZOpenFileA;
extern decltype(&LZInit) pLZInit;
extern decltype(&LZCopy) pLZCopy;
extern decltype(&LZClose) pLZClose;
extern decltype(&OpenDriver) pOpenDriver;
extern decltype(&SendDriverMessage) pSendDriverMessage;
extern decltype(&CloseDriver) pCloseDriver;
extern decltype(&CoInitialize) pCoInitialize;
extern decltype(&CoCreateInstance) pCoCreateInstance;

struct SystemImport {
    const char* Library;
    const char* Name;
    void** Slot;
};
extern const std::array<SystemImport, 9> SystemImports;

// Loads the three libraries from the system folder and fills the slots, once
// per process. They stay loaded until the process ends: COM stays initialised
// on the main thread, so OLE32 must never be unloaded, and the others are
// needed until the last file is installed.
void LoadSystemImports();
