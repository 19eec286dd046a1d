// The setup sequence: everything WinMain does, from start-up to the restart.
#pragma once
#include <windows.h>

// Runs the whole setup; always returns 0, the program's exit code.
int SetupMain(HINSTANCE instance, const char* commandTail);

// First top-level window (Z order, hidden ones included) whose title begins
// with `prefix`, compared case-sensitively; null when there is none.
HWND FindWindowByTitlePrefix(const char* prefix);
// Asks every companion program's window to close.
void CloseRunningApps();

// True when the installed driver file exists and could not be deleted because
// it is in use (upgrade mode); found out without removing it from its name.
BOOL OldDriverInUse();

void RestartSystem();

// The install step (see install_step.cpp).
BOOL RunInstall();
HCURSOR SetWaitCursor();
void RestoreCursor(HCURSOR previous);
