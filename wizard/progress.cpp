// The progress window: a modeless dialog that the progress thread creates,
// centres and pumps until the process ends. The main thread only sets its two
// labels and, at the end of the install step, has it closed.
//
// Closing may come before the window exists. The thread publishes the handle
// in WM_INITDIALOG before the window can be shown, and once a close has been
// requested the window refuses to be shown (WM_WINDOWPOSCHANGING);
// CloseProgressWindow requests the close first and reads the handle
// afterwards. With both sides sequentially consistent, either the close finds
// the handle and has the window destroyed, or the window is never shown.
#include "wizard/progress.h"
#include <atomic>
#include "setup/install_context.h"
#include "setup/message.h"
#include "wizard/wizard.h"

namespace {

// Sent by CloseProgressWindow; handled on the progress thread, which owns the window.
constexpr UINT CloseProgressMessage = WM_APP;

std::atomic<bool> CloseRequested{false};

// What the labels show, kept for a window that appears late: the main thread
// may have handled every file before the progress thread has made its
// window. The lock makes publishing the handle and updating the labels'
// texts exclusive, so that each update either finds the handle and is sent,
// or is there when the window takes the texts over.
CRITICAL_SECTION LabelLock;
const bool LabelLockReady = (InitializeCriticalSection(&LabelLock), true);
int ShownFileCount;
char ShownPath[MAX_PATH];

void FormatCounter(char (&text)[32], int fileCount)
{
    wsprintfA(text, "File %d of 10", fileCount);
}

// Publishes the window's handle, and gives it the labels as they stand.
void PublishWindow(HWND window)
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

// DWLP_USER of the window becomes non-zero once CreateDialogParamA has
// returned. A close request that arrives earlier, while the platform lets the
// thread take sent messages during the creation, only hides the window:
// destroying it there would make the creation fail.
void MarkCreated(HWND window) { SetWindowLongPtrA(window, DWLP_USER, TRUE); }
bool IsCreated(HWND window) { return GetWindowLongPtrA(window, DWLP_USER) != 0; }

} // namespace

DWORD WINAPI ProgressThread(LPVOID)
{
    HWND window = CreateDialogParamA(Context.Instance, MAKEINTRESOURCEA(ProgressDialogId), nullptr,
                                     ProgressDlgProc, 0);
    Context.ProgressWindow.store(window);
    if (!window) {
        ShowWarning("CreateDialog Failed!");
        return 0;
    }
    MarkCreated(window);
    if (CloseRequested.load())
        DestroyWindow(window);  // closed while it was being made: never shown, or hidden again
    else
        ShowWindow(window, SW_SHOWNORMAL);

    // Runs until the process ends: nothing posts a quit message here.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return 0;
}

INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        // Published before it can be seen, so that a close which finds no
        // handle can rely on the window staying hidden.
        PublishWindow(window);
        MarkSetupWindow(window);
        if (!CloseRequested.load())
            CenterWindow(window);  // shows it
        return TRUE;
    case WM_WINDOWPOSCHANGING:
        // A show that is still under way when the close comes (in CenterWindow
        // or ProgressThread) does not happen; the default handling goes on.
        if (CloseRequested.load())
            reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
        return FALSE;
    case WM_DESTROY:
        UnmarkSetupWindow(window);
        return FALSE;
    case CloseProgressMessage:
        if (IsCreated(window))
            DestroyWindow(window);
        else
            ShowWindow(window, SW_HIDE);  // ProgressThread destroys it after the creation
        return TRUE;
    }
    // Commands included: the close box, Alt+F4 and Escape leave the window open.
    return FALSE;
}

void CloseProgressWindow()
{
    CloseRequested.store(true);
    HWND window = Context.ProgressWindow.load();
    // SendMessage returns once the progress thread has handled the request.
    if (window)
        SendMessageA(window, CloseProgressMessage, 0, 0);
}

void ResetProgressWindow()
{
    CloseRequested.store(false);
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
