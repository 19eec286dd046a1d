// The setup sequence's own steps: closing companion programs against real
// windows, the old-driver test, and the restart calls.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "base/install_context.h"
#include "setup/setup_sequence.h"
#include "tests/support/files.h"
#include "tests/support/import_hook.h"

// From install_step_test.cpp: the install step with the machine left alone.
void HookInstallStep();
void EndInstallProgress();
std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts);

namespace {

// A companion program in a process of its own (tests/robot/companion.cpp),
// as the real companions are: reading the title of a hung window of another
// process never blocks, while one of this process would. It ends with the
// test's scope, however the test ends (a failed assertion returns early).
struct Companion {
    const char* behaviour;
    std::string title;
    HWND window = nullptr;
    PROCESS_INFORMATION process = {};
    ~Companion();
};

std::string WindowsPath(std::string unixPath)
{
    for (char& c : unixPath)
        if (c == '/')
            c = '\\';
    return "Z:" + unixPath;
}

void StartCompanion(Companion& companion)
{
    std::string commandLine = "\"" + WindowsPath(COMPANION_EXE) + "\" " + companion.behaviour + " " + companion.title;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &companion.process));
    WaitForInputIdle(companion.process.hProcess, INFINITE);
    while (!(companion.window = FindWindowA("MarluneCompanion", companion.title.c_str())))
        Sleep(25);
}

Companion::~Companion()
{
    if (!process.hProcess)
        return;
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

// Sleep through the import table is counted; with `fastSleep` it costs no real time.
// Once `answerAtMs` is counted, the asking companion's user answers: the hook
// returns when that program has ended.
DWORD sleptMs, answerAtMs;
HANDLE askingProcess;
bool fastSleep;
decltype(&Sleep) realSleep;
void WINAPI CountSleep(DWORD ms)
{
    sleptMs += ms, realSleep(fastSleep && ms ? 1 : ms);
    if (answerAtMs && sleptMs >= answerAtMs) {
        answerAtMs = 0;
        HANDLE answer = OpenEventA(EVENT_MODIFY_STATE, FALSE, "MarluneCompanionAnswer");
        EXPECT_TRUE(answer && SetEvent(answer));
        CloseHandle(answer);
        WaitForSingleObject(askingProcess, INFINITE);
    }
}

std::vector<std::string> closeRequests;
decltype(&SendMessageTimeoutA) realSendTimeout;
LRESULT WINAPI RecordSendTimeout(HWND w, UINT m, WPARAM wp, LPARAM lp, UINT f, UINT t, PDWORD_PTR r)
{
    char title[256] = "";
    GetWindowTextA(w, title, sizeof title);
    closeRequests.push_back(title);
    if (askingProcess && closeRequests.back() == "Marlune 4 Mixer")
        answerAtMs = sleptMs + 2500;  // the question lasts 2.5 s
    EXPECT_EQ(m, static_cast<UINT>(WM_SYSCOMMAND));
    EXPECT_EQ(wp, static_cast<WPARAM>(SC_CLOSE));
    EXPECT_EQ(lp, 0);
    return realSendTimeout(w, m, wp, lp, f, t, r);
}

void RecordCloseRequests()
{
    closeRequests.clear();
    realSendTimeout = HOOK_IMPORT(SendMessageTimeoutA, RecordSendTimeout);
}

} // namespace

TEST(CloseRunningApps, ClosesEveryWindowOfAPrefixBeforeTheNextAndOnlyExactCase)
{
    RecordCloseRequests();
    CloseRunningApps();
    EXPECT_TRUE(closeRequests.empty());

    Companion companions[] = {
        {"closes", "Marlune 1 Mixer"},
        {"closes", "Marlune Mixer"},
        {"closes", "Marlune Mixer - Settings"},
        {"closes", "marlune mixer"},
        {"slow", "Marlune 3 Mixer"},
        {"closes", "Uninstall Marlune Driver"},
    };
    for (auto& c : companions)
        StartCompanion(c);
    EXPECT_EQ(FindWindowByTitlePrefix("Marlune 1"), companions[0].window);
    EXPECT_EQ(FindWindowByTitlePrefix("Marlune Mixer -"), companions[2].window);
    EXPECT_EQ(FindWindowByTitlePrefix("Marlune mixer"), nullptr);

    CloseRunningApps();
    // The two windows of the first prefix (in Z order), then the others; the
    // slow one is asked once and waited for.
    ASSERT_EQ(closeRequests.size(), 5u);
    EXPECT_EQ(closeRequests[0].substr(0, 13), "Marlune Mixer");
    EXPECT_EQ(closeRequests[1].substr(0, 13), "Marlune Mixer");
    EXPECT_EQ(closeRequests[2], "Marlune 1 Mixer");
    EXPECT_EQ(closeRequests[3], "Marlune 3 Mixer");
    EXPECT_EQ(closeRequests[4], "Uninstall Marlune Driver");
    EXPECT_FALSE(IsWindow(companions[4].window));
    EXPECT_FALSE(IsWindow(companions[0].window));
    EXPECT_FALSE(IsWindow(companions[1].window));
    EXPECT_FALSE(IsWindow(companions[2].window));
    EXPECT_TRUE(IsWindow(companions[3].window));
    EXPECT_TRUE(RecordedMessages().empty());
}

// A refusing and a hung window end with a message naming them instead of a
// hang, without a wait as long as a frozen question's; a program that asks
// its user first is waited for (2.5 s of counted time).
TEST(CloseRunningApps, GivesUpOnRefusingAndHungWindowsButWaitsForAQuestion)
{
    Companion companions[] = {
        {"refuses", "Marlune 2 Mixer"},
        {"hangs", "Marlune 3 Mixer"},
        {"asks", "Marlune 4 Mixer"},
    };
    for (auto& c : companions)
        StartCompanion(c);
    RecordCloseRequests();
    askingProcess = companions[2].process.hProcess;
    sleptMs = 0, fastSleep = true, realSleep = HOOK_IMPORT(Sleep, CountSleep);
    CloseRunningApps();
    askingProcess = nullptr;

    auto messages = RecordedMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "The program \"Marlune 2 Mixer\" could not be closed.\n\n"
                                "Please close it yourself before you continue.");
    EXPECT_NE(messages[1].text.find("\"Marlune 3 Mixer\""), std::string::npos);
    for (const auto& m : messages)
        EXPECT_EQ(m.style, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_TRUE(IsWindow(companions[0].window));
    EXPECT_FALSE(IsWindow(companions[2].window));
    int asked = 0;
    for (const auto& r : closeRequests)
        asked += r == "Marlune 4 Mixer";
    EXPECT_EQ(asked, 1) << "the question was interrupted by another close request";
    EXPECT_LT(sleptMs, 30000u);
}

namespace {

// Requests beyond any limit end the refusing window (WM_CLOSE reaches the
// default handling), so that a missing limit fails the test instead of
// hanging it.
LRESULT WINAPI BoundedSendTimeout(HWND w, UINT m, WPARAM wp, LPARAM lp, UINT f, UINT t, PDWORD_PTR r)
{
    if (closeRequests.size() >= 12)
        PostMessageA(w, WM_CLOSE, 0, 0);
    return RecordSendTimeout(w, m, wp, lp, f, t, r);
}

} // namespace

// A window that stays disabled (a program stuck on its own question) is
// waited for 30 s in all, then told and skipped; two refusing windows that
// take turns at the top are each asked three times. GetWindow answers as
// documented (the platform rules, on every version).
TEST(CloseRunningApps, FrozenWindowsAreBoundedAndAttemptsCountPerWindow)
{
    Companion companions[] = {
        {"swaps", "Marlune Mixer A"},
        {"swaps", "Marlune Mixer B"},
        {"frozen", "Marlune 1 Mixer"},
    };
    for (auto& c : companions)
        StartCompanion(c);
    RecordCloseRequests();
    HOOK_IMPORT(SendMessageTimeoutA, BoundedSendTimeout);
    sleptMs = 0, fastSleep = true, realSleep = HOOK_IMPORT(Sleep, CountSleep);
    CloseRunningApps();

    ASSERT_EQ(closeRequests.size(), 7u);
    EXPECT_NE(closeRequests[0], closeRequests[1]) << "the refusing windows did not take turns";
    EXPECT_EQ(closeRequests[6], "Marlune 1 Mixer");
    auto messages = RecordedMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].text, "The program \"Marlune 1 Mixer\" could not be closed.\n\n"
                                "Please close it yourself before you continue.");
    for (const auto& c : companions)
        EXPECT_TRUE(IsWindow(c.window)) << c.title;
    EXPECT_GE(sleptMs, 30000u);
    EXPECT_LT(sleptMs, 60000u);
}

// The question box of a window given up while asking is the user's to answer.
TEST(CloseRunningApps, LeavesTheQuestionOfAGivenUpWindowToTheUser)
{
    Companion companion = {"questions", "Marlune 2 Mixer"};
    StartCompanion(companion);
    RecordCloseRequests();
    fastSleep = true, realSleep = HOOK_IMPORT(Sleep, CountSleep);
    CloseRunningApps();
    EXPECT_EQ(closeRequests.size(), 1u);
    EXPECT_EQ(RecordedMessages().size(), 1u);
    EXPECT_NE(FindWindowA("Static", "Marlune 2 Mixer"), nullptr);
}

namespace {

const char ScratchSystem[] = "C:\\marlune-sequence\\system\\";
const char ScratchTemp[] = "C:\\marlune-sequence\\temp\\";

void PrepareDriverScratch()
{
    CreateDirectoryA("C:\\marlune-sequence", nullptr);
    CreateDirectoryA(ScratchSystem, nullptr);
    CreateDirectoryA(ScratchTemp, nullptr);
    strcpy(Context.SystemDir, ScratchSystem);
    strcpy(Context.TempDir, ScratchTemp);
}

void WriteText(const std::string& path, const std::string& content)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    ::WriteFile(f, content.data(), content.size(), &written, nullptr);
    CloseHandle(f);
}

// The bytes and the last-write time of a file.
std::string Snapshot(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return "<missing>";
    return ReadAll(path) + "@" + std::to_string(data.ftLastWriteTime.dwLowDateTime);
}

} // namespace

// The driver is in use exactly when it could not be deleted, and the test
// leaves it at its name with its bytes and time: held open (as Windows 95 and
// 98 hold a loaded driver), loaded as an image (as Windows NT maps it),
// read-only or a folder.
TEST(OldDriverInUse, DecidesTheModeWithoutMovingTheDriver)
{
    PrepareDriverScratch();
    const std::string standIn = WindowsPath(TEST_DRIVER_PATH);
    struct { int platform; const char* file; } platforms[] = {{PlatformNt, "Vesk.Dll"}, {Platform9x, "Vesk.Drv"}};
    enum State { Missing, Free, Held, Loaded, ReadOnly, Folder };
    const struct { State state; BOOL inUse; } rows[] = {
        {Missing, FALSE}, {Free, FALSE}, {Held, TRUE}, {Loaded, TRUE}, {ReadOnly, TRUE}, {Folder, TRUE},
    };
    for (const auto& p : platforms)
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << p.file << " state " << row.state);
            Context.Platform = p.platform;
            const std::string driver = std::string(ScratchSystem) + p.file;
            HANDLE held = INVALID_HANDLE_VALUE;
            HMODULE loaded = nullptr;
            if (row.state == Loaded) {
                ASSERT_TRUE(CopyFileA(standIn.c_str(), driver.c_str(), FALSE));
                ASSERT_TRUE(loaded = LoadLibraryA(driver.c_str()));
            } else if (row.state == Folder) {
                CreateDirectoryA(driver.c_str(), nullptr);
            } else if (row.state != Missing) {
                WriteText(driver, "working driver");
            }
            if (row.state == Held)
                held = CreateFileA(driver.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (row.state == ReadOnly)
                SetFileAttributesA(driver.c_str(), FILE_ATTRIBUTE_READONLY);
            const std::string before = row.state == Folder ? "" : Snapshot(driver);
            EXPECT_EQ(OldDriverInUse(), row.inUse);
            if (row.state != Folder)
                EXPECT_EQ(Snapshot(driver), before);
            if (held != INVALID_HANDLE_VALUE)
                CloseHandle(held);
            if (loaded)
                FreeLibrary(loaded);
            SetFileAttributesA(driver.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(driver.c_str());
            RemoveDirectoryA(driver.c_str());
        }
    EXPECT_TRUE(RecordedMessages().empty());
}

// Windows 95 and 98 have no MoveFileExA (the platform rules hold this run to
// that): a driver that is not in use is still found so without being moved,
// and "Cancel" leaves it as it was.
TEST(OldDriverInUseWin98, CancelFindsTheDriverAsItWasWithoutMoveFileEx)
{
    PrepareDriverScratch();
    Context.Platform = Platform9x;
    const std::string driver = std::string(ScratchSystem) + "Vesk.Drv";
    WriteText(driver, "working driver");
    const std::string before = Snapshot(driver);
    EXPECT_FALSE(OldDriverInUse());
    EXPECT_EQ(Snapshot(driver), before);
    EXPECT_EQ(ReadAll(std::string(ScratchTemp) + "VESKOLD.BAK"), "<missing>");
    DeleteFileA(driver.c_str());
}

namespace {

std::vector<std::string> restartCalls;
decltype(&OpenProcessToken) realOpenToken;
decltype(&AdjustTokenPrivileges) realAdjust;
BOOL openTokenResult = TRUE;
DWORD adjustError = ERROR_SUCCESS;

BOOL WINAPI RecordOpenToken(HANDLE process, DWORD access, PHANDLE token)
{
    restartCalls.push_back("OpenProcessToken " + std::to_string(access));
    return openTokenResult && realOpenToken(process, access, token);
}
BOOL WINAPI RecordAdjust(HANDLE token, BOOL all, PTOKEN_PRIVILEGES p, DWORD length, PTOKEN_PRIVILEGES, PDWORD)
{
    restartCalls.push_back("Adjust " + std::to_string(p->Privileges[0].Attributes) + " " + std::to_string(length));
    (void)token; (void)all;
    SetLastError(adjustError);
    return TRUE;
}
BOOL WINAPI RecordLookup(LPCSTR system, LPCSTR name, PLUID luid)
{
    restartCalls.push_back(std::string("Lookup ") + (system ? system : "local") + " " + name);
    luid->LowPart = 19;
    luid->HighPart = 0;
    return TRUE;
}
BOOL WINAPI RecordShutdown(LPSTR machine, LPSTR message, DWORD timeout, BOOL force, BOOL reboot)
{
    restartCalls.push_back("Shutdown " + std::string(machine ? machine : "local") + " " +
                           (message ? message : "none") + " " + std::to_string(timeout) + " " +
                           std::to_string(force) + " " + std::to_string(reboot));
    return TRUE;
}
BOOL WINAPI RecordExitWindows(UINT flags, DWORD reserved)
{
    restartCalls.push_back("ExitWindowsEx " + std::to_string(flags) + " " + std::to_string(reserved));
    return TRUE;
}
// The shutdown call is looked up at run time; `shutdownExported` says whether
// the lookup finds it.
bool shutdownExported = true;
decltype(&GetProcAddress) realGetProcAddress;
FARPROC WINAPI LookUpShutdown(HMODULE module, LPCSTR name)
{
    if (!IS_INTRESOURCE(name) && strcmp(name, "InitiateSystemShutdownA") == 0) {
        restartCalls.push_back("GetProcAddress InitiateSystemShutdownA");
        return shutdownExported ? reinterpret_cast<FARPROC>(RecordShutdown) : nullptr;
    }
    return realGetProcAddress(module, name);
}
decltype(&CloseHandle) realCloseHandle;
BOOL WINAPI RecordCloseHandle(HANDLE h)
{
    restartCalls.push_back("CloseHandle");
    return realCloseHandle(h);
}

void HookRestart()
{
    restartCalls.clear();
    realOpenToken = HOOK_IMPORT(OpenProcessToken, RecordOpenToken);
    realAdjust = HOOK_IMPORT(AdjustTokenPrivileges, RecordAdjust);
    HOOK_IMPORT(LookupPrivilegeValueA, RecordLookup);
    realGetProcAddress = HOOK_IMPORT(GetProcAddress, LookUpShutdown);
    HOOK_IMPORT(ExitWindowsEx, RecordExitWindows);
    realCloseHandle = HOOK_IMPORT(CloseHandle, RecordCloseHandle);
}

} // namespace

// No test restarts anything: every call that would is replaced.
TEST(RestartSystem, AsksThePlatformToRestartInItsOwnWay)
{
    using Calls = std::vector<std::string>;
    struct Case { int platform; BOOL openToken; DWORD adjustError; bool exported; Calls expected; };
    const Calls enable = {"Lookup local SeShutdownPrivilege", "Adjust 2 16"};
    const Calls disable = {"Lookup local SeShutdownPrivilege", "Adjust 0 16", "CloseHandle"};
    const Case cases[] = {
        {PlatformNt, TRUE, ERROR_SUCCESS, true,
         Join({{"OpenProcessToken 40"}, enable, {"GetProcAddress InitiateSystemShutdownA",
                                                 "Shutdown local none 0 0 1"}, disable})},
        // Not exported: no shutdown, nothing told, the privilege is switched off.
        {PlatformNt, TRUE, ERROR_SUCCESS, false,
         Join({{"OpenProcessToken 40"}, enable, {"GetProcAddress InitiateSystemShutdownA"}, disable})},
        {PlatformNt, TRUE, ERROR_NOT_ALL_ASSIGNED, true, Join({{"OpenProcessToken 40"}, enable, disable})},
        {PlatformNt, FALSE, ERROR_SUCCESS, true, {"OpenProcessToken 40"}},
        {Platform9x, TRUE, ERROR_SUCCESS, true, {"ExitWindowsEx 6 0"}},
    };
    for (const Case& c : cases) {
        HookRestart();
        Context.Platform = c.platform;
        openTokenResult = c.openToken;
        adjustError = c.adjustError;
        shutdownExported = c.exported;
        RestartSystem();
        EXPECT_EQ(restartCalls, c.expected);
        EXPECT_TRUE(RecordedMessages().empty());  // a failed restart is not told
        RestoreImports();
    }
    openTokenResult = TRUE;
    adjustError = ERROR_SUCCESS;
    shutdownExported = true;
}

namespace {

// The whole sequence with the machine left alone: the system directory is the
// scratch one, the dialogs answer from a table, the install step changes
// nothing, and the restart stops at its first call (the token it opens with
// TOKEN_QUERY, which start-up does not ask for).
std::vector<std::string> sequence;
INT_PTR welcomeAnswer, completionAnswer;
UINT WINAPI ScratchSystemDir(LPSTR buffer, UINT size) { return lstrlenA(lstrcpynA(buffer, ScratchSystem, size)); }
INT_PTR WINAPI AnswerDialog(HINSTANCE, LPCSTR id, HWND, DLGPROC, LPARAM)
{
    sequence.push_back("Dialog " + std::to_string(reinterpret_cast<UINT_PTR>(id)));
    return reinterpret_cast<UINT_PTR>(id) == 100 ? welcomeAnswer : completionAnswer;
}
BOOL WINAPI StopRestart(HANDLE process, DWORD access, PHANDLE token)
{
    if (access & TOKEN_QUERY) {
        sequence.push_back("Restart");
        return FALSE;
    }
    return realOpenToken(process, access, token);
}
decltype(&FindFirstFileA) realFindFirst;
HANDLE WINAPI RecordFindDriver(LPCSTR pattern, LPWIN32_FIND_DATAA found)
{
    if (strstr(pattern, "Vesk.Dll"))
        sequence.push_back("Find driver");
    return realFindFirst(pattern, found);
}
LRESULT WINAPI RecordCompanionClose(HWND w, UINT m, WPARAM wp, LPARAM lp, UINT f, UINT t, PDWORD_PTR r)
{
    sequence.push_back("Close companion");
    return realSendTimeout(w, m, wp, lp, f, t, r);
}
BOOL WINAPI FailEnumeration(HMODULE, LPCSTR, ENUMRESNAMEPROCA, LONG_PTR) { return FALSE; }

} // namespace

// Only an upgrade whose user chooses "Restart" restarts; companions are
// closed before the old driver is looked for. The old driver never leaves its
// name: "Cancel" and a failed install find it as it was.
TEST(SetupSequence, RestartsOnlyAnUpgradeWhoseUserChoosesRestart)
{
    PrepareDriverScratch();
    const std::string driver = std::string(ScratchSystem) + "Vesk.Dll";
    using Events = std::vector<std::string>;
    struct { bool upgrade; INT_PTR welcome, answer; Events expected; bool fails; } cases[] = {
        {true, 1, 1, {"Close companion", "Find driver", "Dialog 100", "Dialog 110", "Restart"}, false},
        {true, 1, 2, {"Find driver", "Dialog 100", "Dialog 110"}, false},
        {false, 1, 1, {"Find driver", "Dialog 100", "Dialog 110"}, false},
        {false, 1, 1, {"Find driver", "Dialog 100"}, true},
        {false, 2, 1, {"Find driver", "Dialog 100"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.upgrade << " " << c.welcome << " " << c.answer);
        ResetInstallContext();
        Companion companion = {"closes", "Marlune Mixer"};
        if (&c == &cases[0])
            StartCompanion(companion);
        WriteText(driver, "driver");
        HANDLE held = c.upgrade ? CreateFileA(driver.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE;
        sequence.clear();
        welcomeAnswer = c.welcome, completionAnswer = c.answer;
        HOOK_IMPORT(GetSystemDirectoryA, ScratchSystemDir);
        HOOK_IMPORT(DialogBoxParamA, AnswerDialog);
        realOpenToken = HOOK_IMPORT(OpenProcessToken, StopRestart);
        realFindFirst = HOOK_IMPORT(FindFirstFileA, RecordFindDriver);
        realSendTimeout = HOOK_IMPORT(SendMessageTimeoutA, RecordCompanionClose);
        HookInstallStep();
        HOOK_IMPORT(DeleteFileA, HOOK_IMPORT(DeleteFileA, nullptr));  // a deleted driver would show
        if (c.fails)
            HOOK_IMPORT(EnumResourceNamesA, FailEnumeration);
        EXPECT_EQ(SetupMain(GetModuleHandleA(nullptr), "NOW2K"), 0);
        RestoreImports();
        InstallMessageRecorder();
        EXPECT_EQ(sequence, c.expected);
        EXPECT_EQ(Context.Upgrade, c.upgrade);
        EXPECT_EQ(ReadAll(driver), "driver");
        EXPECT_EQ(ReadAll(std::string(ScratchTemp) + "VESKOLD.BAK"), "<missing>");
        EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "Global\\MarluneDriverSetup"), nullptr);  // the run's claim ended
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        DeleteFileA(driver.c_str());
        EndInstallProgress();
    }
}
