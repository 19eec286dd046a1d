// The progress window's counter and file labels, which the main thread sets
// while it installs; the window itself belongs to the wizard's progress thread.
#pragma once
#include <windows.h>

constexpr int CounterLabelId = 1008;  // "File %d of 10"
constexpr int FileLabelId = 1001;     // destination path being expanded

// Label updates from the main thread. While the window is null nothing is
// sent; a window that appears later shows the texts as they stand.
void SetCounterLabel(int fileCount);
void SetFileLabel(const char* path);
// Called by the progress thread when it has made the window: publishes its
// handle in ProgressWindow and gives it the labels as they stand.
void PublishProgressWindow(HWND window);
// Forgets the labels' texts (tests run many install steps in one process).
void ResetProgressLabels();
