// The progress window's two labels as the main thread sets them. What they
// show is kept for a window that appears late: the main thread may have
// handled every file before the progress thread has made its window.
#include "base/progress_labels.h"
#include "base/install_context.h"

namespace {

// The lock makes publishing the handle and updating the labels' texts
// exclusive, so that each update either finds the handle and is sent, or is
// there when the window takes the texts over.
CRITICAL_SECTION LabelLock;
const bool LabelLockReady = (InitializeCriticalSection(&LabelLock), true);
int ShownFileCount;
char ShownPath[MAX_PATH];

void FormatCounter(char (&text)[32], int fileCount)
{
    wsprintfA(text, "File %d of 10", fileCount);
}

// Records a label's new text; the window to send it to, or null.
HWND RecordLabel(int fileCount, const char* path)
{
    EnterCriticalSection(&LabelLock);
    if (path)
        lstrcpynA(ShownPath, path, MAX_PATH);
    else
        ShownFileCount = fileCount;
    HWND window = Context.ProgressWindow.load();
    LeaveCriticalSection(&LabelLock);
    return window;
}

} // namespace

void PublishProgressWindow(HWND window)
{
    char counter[32], path[MAX_PATH];
    EnterCriticalSection(&LabelLock);
    Context.ProgressWindow.store(window);
    FormatCounter(counter, ShownFileCount);
    lstrcpyA(path, ShownPath);
    LeaveCriticalSection(&LabelLock);
    SetDlgItemTextA(window, CounterLabelId, counter);
    SetDlgItemTextA(window, FileLabelId, path);
}

void ResetProgressLabels()
{
    EnterCriticalSection(&LabelLock);
    ShownFileCount = 0;
    ShownPath[0] = '\0';
    LeaveCriticalSection(&LabelLock);
}

void SetCounterLabel(int fileCount)
{
    HWND window = RecordLabel(fileCount, nullptr);
    if (!window)
        return;
    char text[32];
    FormatCounter(text, fileCount);
    SetDlgItemTextA(window, CounterLabelId, text);
}

void SetFileLabel(const char* path)
{
    HWND window = RecordLabel(0, path);
    if (window)
        SetDlgItemTextA(window, FileLabelId, path);
}
