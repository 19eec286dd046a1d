// A stand-in companion program for tests: one top-level window with the given
// title that answers the close request (WM_SYSCOMMAND / SC_CLOSE) as told.
//   companion.exe closes|refuses|hangs|asks|slow|frozen|swaps|questions TITLE
// "asks" behaves like a program that asks its user a question on closing: its
// window is disabled (a modal question) until the event "MarluneCompanion
// Answer" is set (the user answers), then it closes. "slow"
// answers the request at once but takes a second to go away. "frozen" is
// disabled from the start and for good, as a program stuck on a question of
// its own; it ignores the request. "swaps" refuses and sinks to the bottom of
// the Z order, so that another window of its title comes first next time.
// "questions" answers the request with a question box of its own, captioned
// with its title and owned by its window, that nobody answers.
//   companion.exe flickers   the robot's self-test: shows a window for about a
// millisecond, then a "Copy Files" window whose two labels change six times in
// a few milliseconds, and ends.
#include <windows.h>
#include <cstring>

namespace {

enum { Closes, Refuses, Hangs, Asks, Slow, Frozen, Swaps, Questions } behaviour = Closes;
const char* title = "Marlune Mixer";
HANDLE answer;

LRESULT CALLBACK CompanionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        if (behaviour == Refuses || behaviour == Frozen)
            return 0;
        if (behaviour == Swaps) {
            SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            return 0;
        }
        if (behaviour == Hangs)
            Sleep(INFINITE);
        if (behaviour == Questions) {  // the box is there before the request is answered
            EnableWindow(window, FALSE);
            CreateWindowExA(0, "Static", title, WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 200, 80, window, 0, 0, 0);
            return 0;
        }
        if (behaviour == Slow) {
            SetTimer(window, 2, 1000, nullptr);
            return 0;
        }
        if (behaviour == Asks) {
            EnableWindow(window, FALSE);
            MSG msg;
            while (MsgWaitForMultipleObjects(1, &answer, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageA(&msg);
            EnableWindow(window, TRUE);
        }
    }
    if (message == WM_TIMER && wParam == 2)
        DestroyWindow(window);
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    if (const char* blank = strchr(commandLine, ' '))
        title = blank + 1;
    if (strncmp(commandLine, "refuses", 7) == 0)
        behaviour = Refuses;
    else if (strncmp(commandLine, "hangs", 5) == 0)
        behaviour = Hangs;
    else if (strncmp(commandLine, "asks", 4) == 0) {
        behaviour = Asks;
        answer = CreateEventA(nullptr, TRUE, FALSE, "MarluneCompanionAnswer");
    }
    else if (strncmp(commandLine, "slow", 4) == 0)
        behaviour = Slow;
    else if (strncmp(commandLine, "frozen", 6) == 0)
        behaviour = Frozen;
    else if (strncmp(commandLine, "swaps", 5) == 0)
        behaviour = Swaps;
    else if (strncmp(commandLine, "questions", 9) == 0)
        behaviour = Questions;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CompanionProc;
    wc.hInstance = instance;
    wc.lpszClassName = "MarluneCompanion";
    RegisterClassA(&wc);
    if (strncmp(commandLine, "flickers", 8) == 0) {
        DestroyWindow(CreateWindowExA(0, wc.lpszClassName, "Brief", WS_POPUP | WS_VISIBLE, 0, 0, 200, 60, nullptr,
                                      nullptr, instance, nullptr));  // within a millisecond
        HWND progress = CreateWindowExA(0, wc.lpszClassName, "Copy Files", WS_POPUP, 0, 0, 300, 80, nullptr, nullptr, instance, nullptr);
        for (int id = 1001; id <= 1008; id += 7)
            CreateWindowExA(0, "Static", id == 1008 ? "File 0 of 10" : "0 of 10", WS_CHILD | WS_VISIBLE, 0, id % 2 * 20, 290, 16, progress, HMENU(id), instance, nullptr);
        ShowWindow(progress, SW_SHOW);
        for (char text[] = "File 1 of 10"; text[5] <= '3'; ++text[5]) {
            SetDlgItemTextA(progress, 1008, text);
            SetDlgItemTextA(progress, 1001, text + 5);
        }
        return DestroyWindow(progress) ? 0 : 1;
    }
    HWND window = CreateWindowExA(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 0, 0, 240, 120,
                                  nullptr, nullptr, instance, nullptr);
    if (behaviour == Frozen)
        EnableWindow(window, FALSE);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
