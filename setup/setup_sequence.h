// The setup sequence: everything WinMain does, from start-up to the restart.
#pragma once
#include <windows.h>

// Runs the whole setup; always returns 0, the program's exit code.
int SetupMain(HINSTANCE instance, const char* commandTail);
