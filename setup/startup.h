// Start-up: the command-line switch, the platform, the driver-loading
// privilege on Windows NT, and the directories of the install context.
#pragma once
#include <windows.h>

// Steps of start-up in order; false after a failure that has been told to
// the user (the caller then ends the program), and for a second copy started
// while another runs, which has brought the other one's window forward and
// changed nothing.
BOOL RunStartup(HINSTANCE instance, const char* commandTail);

// The command tail within `commandLine`: what follows the program's own name
// and the blanks after it.
const char* SkipProgramName(const char* commandLine);

BOOL SetPrivilege(HANDLE token, const char* privilegeName, BYTE enable);
BOOL EnableLoadDriverPrivilege();
void AddTrailingBackslash(char* path);
// Ends this run's claim to be the only copy running (the platform also ends
// it with the process, however the process ends).
void EndSingleRun();
