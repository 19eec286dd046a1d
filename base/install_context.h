// The one process-wide record of the setup's environment and mode.
#pragma once
#include <windows.h>
#include <atomic>

constexpr int PlatformNt = 1;  // the Windows NT family
constexpr int Platform9x = 2;  // every other platform

struct InstallContext {
    int Platform;
    DWORD OsMajorVersion;
    HINSTANCE Instance;
    char WindowsDir[MAX_PATH];
    char SystemDir[MAX_PATH];
    char DriversDir[MAX_PATH];
    char InfDir[MAX_PATH];
    char TempDir[MAX_PATH];
    char AppDir[MAX_PATH];
    BOOL Upgrade;
    BOOL RegisterDevices;
    // Written once by the progress thread, read by the main thread: atomic so
    // the main thread sees either null or the whole handle.
    std::atomic<HWND> ProgressWindow;
    int FileCounter;
};

extern InstallContext Context;

// Puts every field back to its value at process start (for tests).
void ResetInstallContext();
