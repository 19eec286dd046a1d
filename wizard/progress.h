// The progress window: a modeless dialog owned by the progress thread.
#pragma once
#include <windows.h>
#include "base/progress_labels.h"

DWORD WINAPI ProgressThread(LPVOID parameter);
INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Removes the progress window from the screen; after it returns the window is
// gone and never appears, also when the progress thread has not created it yet.
void CloseProgressWindow();
// Forgets an earlier close request and the labels' texts, so that a new
// progress thread shows its window again from the start (tests run many
// install steps in one process).
void ResetProgressWindow();
