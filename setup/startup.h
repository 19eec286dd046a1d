// Start-up: the command-line switch, the platform, the driver-loading
// privilege on Windows NT, and the directories of the install context.
#pragma once
#include <windows.h>

// Steps of start-up in order; false after a failure that has been told to
// the user (the caller then ends the program).
BOOL RunStartup(HINSTANCE instance, const char* commandTail);

// The command tail within `commandLine`: what follows the program's own name
// and the blanks after it.
const char* SkipProgramName(const char* commandLine);

BOOL SetPrivilege(HANDLE token, const char* privilegeName, BYTE enable);
BOOL EnableLoadDriverPrivilege();
void AddTrailingBackslash(char* path);
