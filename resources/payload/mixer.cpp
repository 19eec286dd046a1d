// Mixer.exe: stand-in for the card's mixer application. It opens one
// top-level window titled "Marlune Mixer" that says it controls nothing, and
// closes on the system close command like any window (the setup closes a
// running mixer that way). With the argument "TASKBAR", as the start-up
// shortcut passes it, it starts minimised and without taking the focus.
#include <windows.h>
#include <cstring>

namespace {

constexpr char WindowTitle[] = "Marlune Mixer";
constexpr char ClassName[] = "MarluneMixerStandIn";
constexpr char Notice[] =
    "Marlune Mixer\r\n\r\n"
    "This build carries a stand-in for the mixer application.\r\n"
    "It has no controls for the card's inputs and outputs.";

LRESULT CALLBACK MixerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        HWND text = CreateWindowExA(0, "STATIC", Notice, WS_CHILD | WS_VISIBLE | SS_LEFT,
                                    16, 16, 360, 96, window, nullptr,
                                    reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance, nullptr);
        SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    // WM_SYSCOMMAND with SC_CLOSE becomes WM_CLOSE here, which destroys the window.
    return DefWindowProcA(window, message, wParam, lParam);
}

// The command tail without surrounding blanks equals "TASKBAR" (any case).
bool StartsInTaskbar(const char* tail)
{
    while (*tail == ' ' || *tail == '\t')
        ++tail;
    size_t length = strlen(tail);
    while (length && (tail[length - 1] == ' ' || tail[length - 1] == '\t'))
        --length;
    return length == 7 && _strnicmp(tail, "TASKBAR", 7) == 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int showCommand)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MixerWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ClassName;
    if (!RegisterClassA(&windowClass))
        return 1;

    HWND window = CreateWindowExA(0, ClassName, WindowTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, 160, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, StartsInTaskbar(commandTail) ? SW_SHOWMINNOACTIVE : showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
