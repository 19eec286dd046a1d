// The test robot: starts Setup.exe, reads every dialog and message box it
// shows, answers them by a plan and writes a transcript.
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
//   robot.exe links PATH...  prints every shortcut (PATH or below it) with
//                         its target, arguments and description, and every
//                         .url file with its content
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
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
    bool watch = false;
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

struct Finder {
    DWORD process;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM parameter)
{
    auto* finder = reinterpret_cast<Finder*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == finder->process && IsWindowVisible(window) && ClassOf(window) == "#32770")
        finder->windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectWindows(HWND window, LPARAM parameter)
{
    auto* finder = reinterpret_cast<Finder*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == finder->process && IsWindowVisible(window))
        finder->windows.push_back(window);
    return TRUE;
}

// Records one dialog or message box; returns true for a message box.
bool Describe(HWND window)
{
    // A message box: its text is control 0xFFFF, and it has none of the
    // wizard's labels (whose bitmaps also carry the id -1, 0xFFFF).
    bool messageBox = GetDlgItem(window, 0xFFFF) != nullptr && !GetDlgItem(window, 1101);
    if (messageBox) {
        std::string buttons;
        for (HWND child : Children(window))
            if (ClassOf(child) == "Button" && IsWindowVisible(child))
                buttons += (buttons.empty() ? "" : ",") + WindowText(child);
        Line("message caption=\"" + Escape(WindowText(window)) + "\" text=\"" +
             Escape(WindowText(GetDlgItem(window, 0xFFFF))) + "\" buttons=\"" + buttons + "\"");
        return true;
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
    // The dialog manager sets the focus right after the dialog's
    // initialisation; give a busy machine time. When the thread's input
    // state is not reported, share it for a moment and ask GetFocus.
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    HWND focus = nullptr;
    for (int i = 0; i < 60 && (!focus || focus == window); ++i) {
        GUITHREADINFO gui = {};
        gui.cbSize = sizeof gui;
        if (GetGUIThreadInfo(thread, &gui))
            focus = gui.hwndFocus;
        if ((!focus || focus == window) && i % 10 == 9
            && AttachThreadInput(GetCurrentThreadId(), thread, TRUE)) {
            focus = GetFocus();
            AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
        }
        if (!focus || focus == window)
            Sleep(50);
    }
    if (focus)
        Line("  focus " + std::to_string(GetDlgCtrlID(focus)));
    return false;
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

int RunSetup(const Options& options)
{
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
            // Wait until the program has a window of its own on the screen.
            for (int i = 0; i < 200; ++i) {
                Finder finder = {pi.dwProcessId, {}};
                EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&finder));
                if (!finder.windows.empty())
                    break;
                Sleep(50);
            }
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
    std::vector<HWND> handled;
    std::string progress;
    size_t next = 0;
    int shot = 0;
    DWORD start = GetTickCount();
    int result = 0;
    for (;;) {
        if (WaitForSingleObject(setup.hProcess, 50) == WAIT_OBJECT_0)
            break;
        if (GetTickCount() - start > options.timeoutMs) {
            Line("timeout");
            TerminateProcess(setup.hProcess, 3);
            result = 3;
            break;
        }
        Finder finder = {setup.dwProcessId, {}};
        EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&finder));
        for (HWND window : finder.windows) {
            if (WindowText(window) == "Copy Files") {
                std::string labels = WindowText(GetDlgItem(window, 1008)) + " | " + WindowText(GetDlgItem(window, 1001));
                if (labels != progress)
                    Line("progress \"" + Escape(labels) + "\"");
                progress = labels;
                continue;
            }
            bool seen = false;
            for (HWND h : handled)
                seen = seen || h == window;
            if (seen)
                continue;
            Sleep(200);  // let it paint
            if (!IsWindow(window))
                continue;
            handled.push_back(window);
            bool messageBox = Describe(window);
            if (!options.shots.empty()) {
                char name[32];
                snprintf(name, sizeof name, "\\%02d.bmp", ++shot);
                SaveWindowPicture(window, options.shots + name);
            }
            if (options.watch)
                continue;
            std::string answer = next < options.plan.size() ? options.plan[next++] : (messageBox ? "ok" : "2");
            Answer(window, answer);
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
        if (option == "--watch") {
            options.watch = true;
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
