// The test robot: starts Setup.exe, reads every dialog and message box it
// shows, answers them by a plan and writes a transcript. It sees Setup.exe
// through its hook (robot-hook.dll beside it, hook.cpp), which stops each of
// Setup's threads at every window shown and every text set until the robot
// has recorded it: the state at that moment, however briefly it lasts.
//
//   robot.exe [options] -- SETUP.EXE [ARGUMENTS]
//     --transcript FILE   where the transcript goes (default: standard output)
//     --plan A,B,...      one answer per dialog or message box, in order:
//                         a control id (1, 2 ...), "ok", "escape" or "close";
//                         when the plan runs out: OK for a message box,
//                         id 2 for a dialog
//     --shots DIR         saves a picture of each dialog as DIR\NN.bmp
//     --start CMDLINE     starts a program first and waits for its window
//     --hold PATH         keeps PATH open, unshared, while Setup runs
//     --timeout SECONDS   ends Setup after this long (default 120)
//     --watch             records and pictures every dialog but answers
//                         none: the user answers them
//     --second-copy       before answering the first dialog, puts a window
//                         of its own in front and starts SETUP.EXE a second
//                         time; records how that copy ended, how many windows
//                         it showed, and which window is in front then
//   robot.exe links PATH...  prints every shortcut (PATH or below it) with
//                         its target, arguments and description, and every
//                         .url file with its content
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "../support/window_picture.h"

namespace {

FILE* transcript = stdout;

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '"')
            out += "\\\"";
        else
            out += c;
    }
    return out;
}

void Line(const std::string& text)
{
    fprintf(transcript, "%s\n", text.c_str());
    fflush(transcript);
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> Children(HWND dialog)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

struct Options {
    std::string transcript, shots, setup;
    std::vector<std::string> plan, start, hold;
    DWORD timeoutMs = 120000;
    bool watch = false, secondCopy = false;
};

std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> parts;
    size_t from = 0;
    while (from <= text.size()) {
        size_t comma = text.find(',', from);
        if (comma == std::string::npos)
            comma = text.size();
        if (comma > from)
            parts.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    return parts;
}

// A message box: its text is control 0xFFFF, and it has none of the
// wizard's labels (whose bitmaps also carry the id -1, 0xFFFF).
bool IsMessageBox(HWND window) { return GetDlgItem(window, 0xFFFF) && !GetDlgItem(window, 1101); }

// Records one dialog or message box as it is shown.
void Describe(HWND window)
{
    if (IsMessageBox(window)) {
        std::string buttons;
        for (HWND child : Children(window))
            if (ClassOf(child) == "Button" && IsWindowVisible(child))
                buttons += (buttons.empty() ? "" : ",") + WindowText(child);
        Line("message caption=\"" + Escape(WindowText(window)) + "\" text=\"" +
             Escape(WindowText(GetDlgItem(window, 0xFFFF))) + "\" buttons=\"" + buttons + "\"");
        return;
    }
    Line("dialog \"" + Escape(WindowText(window)) + "\"");
    for (HWND child : Children(window)) {
        int id = GetDlgCtrlID(child);
        std::string cls = ClassOf(child);
        std::string text = (GetWindowLongA(child, GWL_STYLE) & 0x0F) == SS_BITMAP && cls == "Static"
            ? "<bitmap>" : Escape(WindowText(child));
        Line("  control " + std::to_string(id == 0xFFFF ? -1 : id) + " " + cls + " " +
             (IsWindowVisible(child) ? "visible" : "hidden") + " \"" + text + "\"");
    }
}

// What the hook (hook.cpp) has told: the dialogs described and probed but
// not yet taken, those whose creation is done and that wait for a picture and
// an answer, the progress window's labels as last recorded, and whether the
// program being started first has shown a window.
DWORD setupProcess, startedProcess, secondProcess;
bool startedShown;
int secondWindows;
std::vector<HWND> probing, ready;
std::string progress;

// Runs while the thread that sent the report waits for it.
LRESULT CALLBACK RobotProc(HWND robot, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_COPYDATA)
        return DefWindowProcA(robot, message, wParam, lParam);
    auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    HWND window = reinterpret_cast<HWND>(wParam);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    startedShown = startedShown || (process == startedProcess && data->dwData == WM_WINDOWPOSCHANGED);
    secondWindows += process == secondProcess && data->dwData == WM_WINDOWPOSCHANGED;
    bool probed = std::count(probing.begin(), probing.end(), window);
    if (process != setupProcess)
        return TRUE;
    if (WindowText(window) == "Copy Files") {  // the progress window: every state it shows
        std::string labels = WindowText(GetDlgItem(window, 1008)) + " | " + WindowText(GetDlgItem(window, 1001));
        if (IsWindowVisible(window) && labels != progress)
            Line("progress \"" + Escape(progress = labels) + "\"");
    } else if (data->dwData == WM_WINDOWPOSCHANGED && !probed) {
        Describe(window);
        probing.push_back(window);
        PostMessageA(window, WM_NULL, reinterpret_cast<WPARAM>(robot), 0);
    } else if (data->dwData == WM_NULL && probed) {
        HWND focus = *static_cast<HWND*>(data->lpData);
        if (focus && !IsMessageBox(window))
            Line("  focus " + std::to_string(GetDlgCtrlID(focus)));
        probing.erase(std::find(probing.begin(), probing.end(), window));
        ready.push_back(window);
    }
    return TRUE;
}

// Takes the reports sent meanwhile; false when `process` ended or nothing
// came for `timeoutMs`.
bool TakeReports(HANDLE process, DWORD timeoutMs)
{
    if (MsgWaitForMultipleObjects(1, &process, FALSE, timeoutMs, QS_ALLINPUT) != WAIT_OBJECT_0 + 1)
        return false;
    for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);)
        DispatchMessageA(&message);
    return true;
}

// Sets the hook for every thread of the desktop; it reports from the programs
// started from now on, which inherit MARLUNE_ROBOT.
bool Watch()
{
    char path[MAX_PATH];
    std::string dll(path, GetModuleFileNameA(nullptr, path, sizeof path));
    HMODULE hook = LoadLibraryA((dll.substr(0, dll.find_last_of('\\') + 1) + "robot-hook.dll").c_str());
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RobotProc;
    wc.lpszClassName = "MarluneRobot";
    return hook && RegisterClassA(&wc) && SetEnvironmentVariableA("MARLUNE_ROBOT", "1")
        && CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)
        && SetWindowsHookExA(WH_CALLWNDPROCRET, HOOKPROC(GetProcAddress(hook, "RobotCallWndProcRet")), hook, 0)
        && SetWindowsHookExA(WH_GETMESSAGE, HOOKPROC(GetProcAddress(hook, "RobotGetMessage")), hook, 0);
}

void Answer(HWND window, const std::string& answer)
{
    Line("answer " + answer);
    if (answer == "close")
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    else if (answer == "escape")
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    else {
        int id = answer == "ok" ? IDOK : atoi(answer.c_str());
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }
}

// Starts Setup a second time while the first one shows its first dialog,
// with a window of the robot's in front, and waits for that copy to end,
// taking the reports meanwhile. A copy that shows a window of its own is
// ended there (exit 3): it would wait for an answer.
void RunSecondCopy(const Options& options)
{
    HWND front = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "Robot in front", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                 nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(front);
    Line("foreground \"" + Escape(WindowText(GetForegroundWindow())) + "\"");
    SetWindowPos(front, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION second = {};
    std::string line = options.setup;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &second)) {
        Line("cannot start the second copy");
        return;
    }
    secondProcess = second.dwProcessId;
    while (secondWindows == 0 && TakeReports(second.hProcess, INFINITE))
        continue;
    if (WaitForSingleObject(second.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(second.hProcess, 3);
        WaitForSingleObject(second.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(second.hProcess, &code);
    Line("second copy exit " + std::to_string(code) + ", windows " + std::to_string(secondWindows));
    Line("foreground \"" + Escape(WindowText(GetForegroundWindow())) + "\"");
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);
    DestroyWindow(front);
}

int RunSetup(const Options& options)
{
    if (!Watch()) {
        Line("cannot set the robot's hook");
        return 2;
    }
    std::vector<HANDLE> held;
    for (const std::string& path : options.hold) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        Line("hold \"" + Escape(path) + "\" " + (h == INVALID_HANDLE_VALUE ? "failed" : "open"));
        held.push_back(h);
    }
    std::vector<PROCESS_INFORMATION> started;
    for (const std::string& command : options.start) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::string line = command;
        if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            // Wait until the program shows a window of its own, however long it
            // takes; a program that never does is ended by the runner.
            startedProcess = pi.dwProcessId;
            while (!startedShown && TakeReports(pi.hProcess, INFINITE))
                continue;
            started.push_back(pi);
        }
        Line("start \"" + Escape(command) + "\"");
    }

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION setup = {};
    std::string line = options.setup;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &setup)) {
        Line("cannot start \"" + Escape(options.setup) + "\"");
        return 2;
    }
    setupProcess = setup.dwProcessId;
    size_t next = 0;
    int shot = 0;
    DWORD start = GetTickCount();
    int result = 0;
    // Pictures and answers each dialog once its creation is done.
    for (DWORD elapsed; WaitForSingleObject(setup.hProcess, 0) == WAIT_TIMEOUT;) {
        if ((elapsed = GetTickCount() - start) >= options.timeoutMs) {
            Line("timeout");
            TerminateProcess(setup.hProcess, 3);
            result = 3;
            break;
        }
        TakeReports(setup.hProcess, options.timeoutMs - elapsed);
        for (; !ready.empty(); ready.erase(ready.begin())) {
            HWND window = ready.front();
            if (!options.shots.empty()) {
                Sleep(200);  // for the picture only: let it paint
                char name[32];
                snprintf(name, sizeof name, "\\%02d.bmp", ++shot);
                SaveWindowPicture(window, options.shots + name);
            }
            if (options.secondCopy && !secondProcess)
                RunSecondCopy(options);
            if (!options.watch && IsWindow(window))
                Answer(window, next < options.plan.size() ? options.plan[next++] : IsMessageBox(window) ? "ok" : "2");
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(setup.hProcess, &code);
    if (result == 0)
        Line("exit " + std::to_string(code));
    for (auto& pi : started) {
        bool running = WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
        Line(std::string("companion ") + (running ? "running" : "ended"));
        if (running)
            TerminateProcess(pi.hProcess, 0);
    }
    for (HANDLE h : held)
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    return result;
}

void ListLinks(const std::string& dir, IShellLinkA* link, IPersistFile* file, const std::string& only = "*")
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\" + only).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName, path = dir + "\\" + name;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListLinks(path, link, file);
        } else if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".lnk") == 0) {
            WCHAR wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            char target[MAX_PATH] = "", args[MAX_PATH] = "", desc[MAX_PATH] = "";
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                link->GetPath(target, MAX_PATH, nullptr, 0);
                link->GetArguments(args, MAX_PATH);
                link->GetDescription(desc, MAX_PATH);
            }
            printf("link \"%s\" target=\"%s\" arguments=\"%s\" description=\"%s\"\n",
                   path.c_str(), target, args, desc);
        } else if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".url") == 0) {
            char text[1024] = "";
            if (FILE* f = fopen(path.c_str(), "rb")) {
                text[fread(text, 1, sizeof text - 1, f)] = '\0';
                fclose(f);
            }
            printf("url \"%s\" content=\"%s\"\n", path.c_str(), Escape(text).c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

int Links(const std::vector<std::string>& paths)
{
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return 2;
    link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    for (const std::string& path : paths) {
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ListLinks(path, link, file);
        } else {
            // One file: list its folder's matching entry only.
            size_t slash = path.find_last_of('\\');
            ListLinks(path.substr(0, slash), link, file, path.substr(slash + 1));
        }
    }
    file->Release();
    link->Release();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && strcmp(argv[1], "links") == 0)
        return Links(std::vector<std::string>(argv + 2, argv + argc));
    Options options;
    int i = 1;
    for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        std::string option = argv[i];
        if (option == "--watch" || option == "--second-copy") {
            (option == "--watch" ? options.watch : options.secondCopy) = true;
            continue;
        }
        std::string value = i + 1 < argc ? argv[++i] : "";
        if (option == "--transcript") options.transcript = value;
        else if (option == "--plan") options.plan = Split(value);
        else if (option == "--shots") options.shots = value;
        else if (option == "--start") options.start.push_back(value);
        else if (option == "--hold") options.hold.push_back(value);
        else if (option == "--timeout") options.timeoutMs = atoi(value.c_str()) * 1000;
    }
    for (++i; i < argc; ++i)
        options.setup += (options.setup.empty() ? "\"" + std::string(argv[i]) + "\"" : " " + std::string(argv[i]));
    if (options.setup.empty()) {
        fprintf(stderr, "usage: robot.exe [options] -- SETUP.EXE [ARGUMENTS]\n");
        return 2;
    }
    if (!options.transcript.empty() && !(transcript = fopen(options.transcript.c_str(), "w"))) {
        fprintf(stderr, "cannot write %s\n", options.transcript.c_str());
        return 2;
    }
    return RunSetup(options);
}
