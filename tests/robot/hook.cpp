// The robot's hook DLL, robot-hook.dll, which the robot sets for every thread
// of its desktop. In a process started with MARLUNE_ROBOT in its environment
// it tells the robot's window (class MarluneRobot) of each top-level window
// shown, each window text set and each probe taken (WM_NULL with the robot's
// window as wParam): WM_COPYDATA with that message as dwData, the window as
// wParam and the thread's focus window as data. SendMessage returns once the
// robot has recorded it, so a window or label that lives a millisecond is
// recorded all the same, and in order. No C runtime comes with it.
#include <windows.h>

namespace {

HWND robot;  // null in every process the robot does not watch

void Tell(UINT message, HWND window)
{
    HWND focus = GetFocus();
    COPYDATASTRUCT data = {message, sizeof focus, &focus};
    SendMessageA(robot, WM_COPYDATA, reinterpret_cast<WPARAM>(window), reinterpret_cast<LPARAM>(&data));
}

} // namespace

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH && GetEnvironmentVariableA("MARLUNE_ROBOT", nullptr, 0))
        robot = FindWindowExA(HWND_MESSAGE, nullptr, "MarluneRobot", nullptr);
    return TRUE;
}

extern "C" __declspec(dllexport) LRESULT CALLBACK RobotCallWndProcRet(int code, WPARAM wParam, LPARAM lParam)
{
    auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && robot) {
        if (sent->message == WM_WINDOWPOSCHANGED && !(GetWindowLongA(sent->hwnd, GWL_STYLE) & WS_CHILD)
            && (reinterpret_cast<const WINDOWPOS*>(sent->lParam)->flags & SWP_SHOWWINDOW))
            Tell(WM_WINDOWPOSCHANGED, sent->hwnd);
        else if (sent->message == WM_SETTEXT)
            Tell(WM_SETTEXT, GetAncestor(sent->hwnd, GA_ROOT));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK RobotGetMessage(int code, WPARAM wParam, LPARAM lParam)
{
    auto* taken = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && robot && taken->message == WM_NULL && taken->wParam == WPARAM(robot))
        Tell(WM_NULL, taken->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
