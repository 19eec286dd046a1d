// The progress window: a modeless dialog owned by the progress thread.
#pragma once
#include <windows.h>

constexpr int CounterLabelId = 1008;  // "File %d of 10"
constexpr int FileLabelId = 1001;     // destination path being expanded

DWORD WINAPI ProgressThread(LPVOID parameter);
INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Removes the progress window from the screen; after it returns the window is
// gone and never appears, also when the progress thread has not created it yet.
void CloseProgressWindow();
// Forgets an earlier close request and the labels' texts, so that a new
// progress thread shows its window again from the start (tests run many
// install steps in one process).
void ResetProgressWindow();
// Label updates from the main thread. While the window is null nothing is
// sent; a window that appears later shows the texts as they stand.
void SetCounterLabel(int fileCount);
void SetFileLabel(const char* path);
