// The command tail that the platform's GUI entry hands to WinMain, found
// without a C runtime.
#pragma once
#include <windows.h>

// The command tail within `commandLine`: what follows the program's own name
// and the blanks after it.
const char* SkipProgramName(const char* commandLine);
