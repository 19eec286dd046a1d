// The wizard dialogs, CenterWindow and the progress window, driven for real
// on the test display: modal dialogs through a thread timer that their own
// modal loop dispatches, the progress window through its thread.
#include <gtest/gtest.h>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include "base/install_context.h"
#include "tests/support/files.h"
#include "tests/support/import_hook.h"
#include "tests/support/window_picture.h"
#include "wizard/progress.h"
#include "wizard/wizard.h"

namespace {

// Texts as the templates carry them and as the dialog procedure sets them.
const char TemplateIntro[] =
    "This program will install the Marlune driver and associated files onto your computer.  We "
    "recommend exiting any other programs that are currently running before continuing the "
    "installation process.";
const char TemplateCard[] =
    "Your Marlune Audio Card should already be installed in a PCI Slot inside your computer.";
const char TemplateChoice[] =
    "Select \"Continue\" to proceed with the driver installation, or select \"Cancel\" to quit.";
const char UpgradeIntro[] =
    "This program will upgrade the Marlune driver and associated files on your computer.  We "
    "recommend exiting any other programs that are currently running before continuing the "
    "upgrade process.";
const char UpgradeChoice[] =
    "Select \"Continue\" to proceed with the driver upgrade, or select \"Cancel\" to quit.";
const char InstallAfter[] =
    "You should install your Marlune Audio Card in a PCI Slot inside your computer AFTER this "
    "process is complete.";
const char InstallComplete[] =
    "Your Marlune driver installation has completed successfully!\n\nPlease be sure to send in "
    "your warranty registration card or run the Online Registration Wizard so we can provide you "
    "with the best service possible.";
const char UpgradeComplete[] =
    "Your Marlune driver upgrade has completed successfully!  You will need to restart your "
    "computer to finish the upgrade process.\n\nPlease be sure to send in your warranty "
    "registration card or run the Online Registration Wizard so we can provide you with the best "
    "service possible.";

HMODULE Self() { return GetModuleHandleA(nullptr); }

// A control's text, or "(none)" when the dialog has no such control.
std::string ItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? WindowText(item) : "(none)";
}

std::string ButtonState(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    return !button ? "absent" : IsWindowVisible(button) ? "shown" : "hidden";
}

// Where CenterWindow puts a window of this size on this desktop.
bool IsCentred(HWND window)
{
    RECT r, d;
    GetWindowRect(window, &r);
    GetWindowRect(GetDesktopWindow(), &d);
    return r.left == d.right / 2 - (r.right - r.left) / 2 && r.top == d.bottom / 2 - (r.bottom - r.top) / 2;
}

// ---------------------------------------------------------------------------
// Driving a modal wizard dialog. A thread timer, dispatched by the dialog's
// own modal loop, finds the dialog once it is up and, `settleTicks` ticks
// later, hands it to `act`, which reads it and ends it. A dialog still up five
// seconds after that is ended with 99, so a test fails instead of hanging.

std::function<void(HWND)> Act;
HWND Running;
int Ticks, SettleTicks;

BOOL CALLBACK FindDialog(HWND window, LPARAM found)
{
    char cls[16];
    if (IsWindowVisible(window) && GetClassNameA(window, cls, sizeof cls) && strcmp(cls, "#32770") == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR, DWORD)
{
    if (!Running)
        EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&Running));
    if (!Running)
        return;
    if (++Ticks == SettleTicks)
        Act(Running);
    else if (Ticks == SettleTicks + 500)
        EndDialog(Running, 99);
}

INT_PTR RunWizardDialog(int id, std::function<void(HWND)> act, int settleTicks = 1)
{
    Context.Instance = Self();
    Act = std::move(act);
    Running = nullptr;
    Ticks = 0;
    SettleTicks = settleTicks;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, DriveDialog);
    INT_PTR result = ShowWizardDialog(id, nullptr);
    KillTimer(nullptr, timer);
    return result;
}

// The ways a user ends a dialog, as input that the modal loop receives.
enum Ending { Click1, Click2, PressEnter, PressEscape, CloseBox, PressAltF4, OtherCommandsThen2 };
const char* const EndingNames[] = {"click 1", "click 2", "Enter", "Escape", "close box", "Alt+F4",
                                   "other commands, then 2"};

void End(HWND dialog, Ending how)
{
    switch (how) {
    case Click1:
    case Click2:
        SendMessageA(GetDlgItem(dialog, how == Click1 ? 1 : 2), BM_CLICK, 0, 0);
        break;
    case PressEnter:
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
        break;
    case PressEscape:
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        break;
    case CloseBox:
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case PressAltF4:  // lParam bit 29: the Alt key is down
        PostMessageA(dialog, WM_SYSKEYDOWN, VK_F4, 0x203E0001);
        break;
    case OtherCommandsThen2:
        // Commands other than 1 and 2 are taken and do not end the dialog;
        // the id is the low word only, whatever the notification code.
        EXPECT_TRUE(WizardDlgProc(dialog, WM_COMMAND, 1100, 0));
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDABORT, BN_CLICKED), 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(2, 1), 0);
        break;
    }
}

// ---------------------------------------------------------------------------
// The progress window.

DWORD ProgressThreadId;

HANDLE StartProgressThread()
{
    Context.Instance = Self();
    return CreateThread(nullptr, 0, ProgressThread, nullptr, 0, &ProgressThreadId);
}

HWND AwaitProgressWindow()
{
    while (!Context.ProgressWindow.load())
        Sleep(10);
    return Context.ProgressWindow.load();
}

// Visible top-level windows of the progress thread, found without sending
// messages, so counting never waits for that thread.
BOOL CALLBACK CountShownWindow(HWND window, LPARAM count)
{
    if (GetWindowThreadProcessId(window, nullptr) == ProgressThreadId && IsWindowVisible(window))
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int ShownProgressWindows()
{
    int count = 0;
    EnumWindows(CountShownWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Waits until the progress thread has made and destroyed its window after a
// close, checking all the while that no dialog is on the screen.
void ExpectClosedForGood()
{
    EXPECT_EQ(ShownProgressWindows(), 0) << "on the screen when CloseProgressWindow returned";
    for (HWND window; !(window = Context.ProgressWindow.load()) || IsWindow(window); Sleep(10))
        ASSERT_EQ(ShownProgressWindows(), 0) << "appeared after the close";
}

void EndProgress(HANDLE thread)
{
    CloseProgressWindow();
    ExpectClosedForGood();
    PostThreadMessageA(ProgressThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

// Holds the progress thread at one stage of its start, so that the close
// meets it exactly there: the thread signals the stage, then waits a while,
// taking sent messages meanwhile when asked to, as a platform may do inside
// the calls that create and activate a window.
enum Stage { NoStage, BeforeCreation, WhileCentring, AfterCreation };
Stage HoldAt;
DWORD HoldFor;
bool TakeSentMessages;
HANDLE StageReached;
bool CreatedAlive;  // the creation gave a window that still exists
decltype(&CreateDialogParamA) RealCreateDialog;
decltype(&SetWindowPos) RealSetWindowPos;

void Hold(Stage stage)
{
    if (stage != HoldAt)
        return;
    SetEvent(StageReached);
    for (DWORD start = GetTickCount(); GetTickCount() - start < HoldFor; Sleep(1)) {
        MSG message;
        if (TakeSentMessages)
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

HWND WINAPI HeldCreateDialog(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param)
{
    Hold(BeforeCreation);
    HWND window = RealCreateDialog(instance, name, owner, proc, param);
    CreatedAlive = window && IsWindow(window);
    Hold(AfterCreation);
    return window;
}

// Called by CenterWindow during WM_INITDIALOG, before the window is shown.
BOOL WINAPI HeldSetWindowPos(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags)
{
    Hold(WhileCentring);
    return RealSetWindowPos(window, after, x, y, cx, cy, flags);
}

void HoldProgressThreadAt(Stage stage, DWORD pause = 100, bool takeSentMessages = false)
{
    HoldAt = stage;
    HoldFor = pause;
    TakeSentMessages = takeSentMessages;
    if (!StageReached)
        StageReached = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ResetEvent(StageReached);
    RealCreateDialog = HOOK_IMPORT(CreateDialogParamA, HeldCreateDialog);
    RealSetWindowPos = HOOK_IMPORT(SetWindowPos, HeldSetWindowPos);
}

} // namespace

// ---------------------------------------------------------------------------

TEST(WizardDialogs, WordingFollowsDialogModeAndPlatform)
{
    const struct {
        const char* name;
        int dialog;
        BOOL upgrade;
        int platform;
        const char *caption, *intro, *card, *choice, *continueButton;
        int focus;
    } table[] = {
        {"welcome install NT", 100, FALSE, PlatformNt, "Marlune Windows NT Driver Installation Wizard",
         TemplateIntro, TemplateCard, TemplateChoice, "shown", 1},
        {"welcome install 9x", 100, FALSE, Platform9x, "Marlune Windows 95 Driver Installation Wizard",
         TemplateIntro, InstallAfter, TemplateChoice, "shown", 1},
        {"welcome install, platform unknown", 100, FALSE, 0,
         "Marlune Windows 95 Driver Installation Wizard", TemplateIntro, InstallAfter, TemplateChoice,
         "shown", 1},
        {"welcome upgrade NT", 100, TRUE, PlatformNt, "Marlune Windows NT Driver Upgrade Wizard",
         UpgradeIntro, TemplateCard, UpgradeChoice, "shown", 1},
        {"welcome upgrade 9x", 100, TRUE, Platform9x, "Marlune Windows 95 Driver Upgrade Wizard",
         UpgradeIntro, TemplateCard, UpgradeChoice, "shown", 1},
        {"completion install NT", 110, FALSE, PlatformNt, "Installation Complete", "(none)",
         InstallComplete, "(none)", "hidden", 2},
        {"completion install 9x", 110, FALSE, Platform9x, "Installation Complete", "(none)",
         InstallComplete, "(none)", "hidden", 2},
        {"completion upgrade NT", 110, TRUE, PlatformNt, "Installation Complete", "(none)",
         UpgradeComplete, "(none)", "shown", 2},
        {"completion upgrade 9x", 110, TRUE, Platform9x, "Installation Complete", "(none)",
         UpgradeComplete, "(none)", "shown", 2},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        Context.Upgrade = row.upgrade;
        Context.Platform = row.platform;
        std::string caption, intro, card, choice, continueButton, cancelButton;
        bool centred = false;
        int focus = 0;
        INT_PTR result = RunWizardDialog(row.dialog, [&](HWND dialog) {
            caption = WindowText(dialog);
            intro = ItemText(dialog, 1100);
            card = ItemText(dialog, 1101);
            choice = ItemText(dialog, 1102);
            continueButton = ButtonState(dialog, 1);
            cancelButton = ButtonState(dialog, 2);
            centred = IsCentred(dialog);
            focus = GetDlgCtrlID(GetFocus());
            End(dialog, Click2);
        });
        EXPECT_EQ(result, 2);
        EXPECT_EQ(caption, row.caption);
        EXPECT_EQ(intro, row.intro);
        EXPECT_EQ(card, row.card);
        EXPECT_EQ(choice, row.choice);
        EXPECT_EQ(continueButton, row.continueButton) << "button 1";
        EXPECT_EQ(cancelButton, "shown") << "button 2";
        EXPECT_TRUE(centred);
        EXPECT_EQ(focus, row.focus) << "the first tab stop has the focus";
    }
    EXPECT_TRUE(RecordedMessages().empty());
}

TEST(WizardDialogs, EveryWayOfEndingGivesTheButtonsId)
{
    const struct {
        int dialog;
        Ending how;
        INT_PTR result;
    } table[] = {
        {100, Click1, 1},   {100, PressEnter, 1}, {100, Click2, 2},
        {100, PressEscape, 2}, {100, CloseBox, 2}, {100, PressAltF4, 2},
        {100, OtherCommandsThen2, 2},
        {110, Click1, 1},   {110, Click2, 2},   {110, PressEscape, 2},
        {110, CloseBox, 2}, {110, PressAltF4, 2},
    };
    Context.Upgrade = TRUE;  // so that "Restart" can be clicked
    for (const auto& row : table) {
        SCOPED_TRACE("dialog " + std::to_string(row.dialog) + ", " + EndingNames[row.how]);
        EXPECT_EQ(RunWizardDialog(row.dialog, [&](HWND dialog) { End(dialog, row.how); }), row.result);
    }
}

TEST(WizardDialogs, TemplateMissingFromTheContextsModuleGivesMinusOne)
{
    Context.Instance = Self();
    EXPECT_EQ(ShowWizardDialog(999, nullptr), -1);
    Context.Instance = GetModuleHandleA("kernel32.dll");
    EXPECT_EQ(ShowWizardDialog(WelcomeDialogId, nullptr), -1);
}

TEST(WizardDialogs, UnknownDialogIdOnlyCentres)
{
    Context.Platform = Platform9x;
    for (int templateId : {100, 110}) {
        for (BOOL upgrade : {FALSE, TRUE}) {
            SCOPED_TRACE("template " + std::to_string(templateId) + (upgrade ? " upgrade" : " install"));
            Context.Upgrade = upgrade;
            HWND dialog = CreateDialogParamA(Self(), MAKEINTRESOURCEA(templateId), nullptr, WizardDlgProc, 999);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(WindowText(dialog), templateId == 100 ? "Marlune Driver Installation Wizard"
                                                            : "Installation Complete");
            EXPECT_EQ(ItemText(dialog, 1100), templateId == 100 ? TemplateIntro : "(none)");
            EXPECT_EQ(ItemText(dialog, 1101), templateId == 100 ? TemplateCard : InstallComplete);
            EXPECT_EQ(ButtonState(dialog, 1), "shown");
            EXPECT_TRUE(IsWindowVisible(dialog) && IsCentred(dialog));
            DestroyWindow(dialog);
        }
    }
}

namespace {
RECT FakeDesktop, FakeWindow;
std::vector<std::string> CentreCalls;
const HWND FakeHandle = reinterpret_cast<HWND>(0x5A5A);

BOOL WINAPI FakeGetWindowRect(HWND window, RECT* rect)
{
    *rect = window == GetDesktopWindow() ? FakeDesktop : FakeWindow;
    return TRUE;
}
BOOL WINAPI RecordSetWindowPos(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags)
{
    char call[128];
    snprintf(call, sizeof call, "SetWindowPos %p %p %d,%d %d,%d %04x", window, after, x, y, cx, cy, flags);
    CentreCalls.push_back(call);
    return TRUE;
}
BOOL WINAPI RecordSetForeground(HWND window)
{
    char call[64];
    snprintf(call, sizeof call, "SetForegroundWindow %p", window);
    CentreCalls.push_back(call);
    return TRUE;
}
} // namespace

TEST(CenterWindow, HalvesEachSideSeparatelyFromTheDesktopOrigin)
{
    const struct {
        RECT desktop, window;
        int x, y;
    } table[] = {
        {{0, 0, 1024, 768}, {10, 20, 465, 282}, 285, 253},      // 512 - 227, 384 - 131
        {{0, 0, 1023, 768}, {0, 0, 455, 262}, 284, 253},        // 511 - 227
        {{0, 0, 1023, 767}, {0, 0, 455, 263}, 284, 252},        // 383 - 131
        {{-1280, -200, 1024, 768}, {0, 0, 455, 262}, 285, 253}, // left and top not used
        {{0, 0, 640, 480}, {0, 0, 701, 501}, -30, -10},         // larger than the desktop
    };
    HOOK_IMPORT(GetWindowRect, FakeGetWindowRect);
    HOOK_IMPORT(SetWindowPos, RecordSetWindowPos);
    HOOK_IMPORT(SetForegroundWindow, RecordSetForeground);
    for (const auto& row : table) {
        FakeDesktop = row.desktop;
        FakeWindow = row.window;
        CentreCalls.clear();
        CenterWindow(FakeHandle);
        char setPos[128], foreground[64];
        snprintf(setPos, sizeof setPos, "SetWindowPos %p %p %d,%d %d,%d %04x", FakeHandle, nullptr,
                 row.x, row.y, -1, -1, SWP_NOSIZE | SWP_SHOWWINDOW);
        snprintf(foreground, sizeof foreground, "SetForegroundWindow %p", FakeHandle);
        EXPECT_EQ(CentreCalls, (std::vector<std::string>{setPos, foreground}));
    }
}

// ---------------------------------------------------------------------------

namespace {
// The window that the progress loop handed a key press to as a dialog.
std::atomic<HWND> keyDialog;
decltype(&IsDialogMessageA) realIsDialogMessage;
BOOL WINAPI RecordDialogMessage(HWND dialog, LPMSG message)
{
    if (message->message == WM_KEYDOWN)
        keyDialog.store(dialog);
    return realIsDialogMessage(dialog, message);
}
} // namespace

TEST(ProgressWindow, ShowsCentredAndTakesLabelsFromTheMainThreadButNoClose)
{
    keyDialog.store(nullptr);
    realIsDialogMessage = HOOK_IMPORT(IsDialogMessageA, RecordDialogMessage);
    HANDLE thread = StartProgressThread();
    HWND window = AwaitProgressWindow();
    ASSERT_NE(window, nullptr);
    // Reading a label waits until the progress thread takes messages.
    EXPECT_EQ(ItemText(window, CounterLabelId), "File 0 of 10");
    EXPECT_EQ(ItemText(window, FileLabelId), "");
    EXPECT_EQ(WindowText(window), "Copy Files");
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), ProgressThreadId);
    EXPECT_TRUE(IsWindowVisible(window) && IsCentred(window));

    SetCounterLabel(1);
    EXPECT_EQ(ItemText(window, CounterLabelId), "File 1 of 10");
    SetFileLabel("C:\\WINDOWS\\System32\\drivers\\Vesk.Sys");
    SetCounterLabel(10);
    EXPECT_EQ(ItemText(window, CounterLabelId), "File 10 of 10");
    EXPECT_EQ(ItemText(window, FileLabelId), "C:\\WINDOWS\\System32\\drivers\\Vesk.Sys");

    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageA(window, WM_SYSKEYDOWN, VK_F4, 0x203E0001);
    PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    Sleep(200);
    EXPECT_TRUE(IsWindow(window) && IsWindowVisible(window)) << "the user cannot close it";
    EXPECT_EQ(keyDialog.load(), window) << "the progress loop does not pass keys to the dialog";
    EndProgress(thread);
    EXPECT_TRUE(RecordedMessages().empty());
}

// A window made after some files were handled shows the labels as they stand.
TEST(ProgressWindow, UpdatesBeforeTheWindowExistsShowWhenItAppears)
{
    HoldProgressThreadAt(BeforeCreation);
    HANDLE thread = StartProgressThread();
    ASSERT_EQ(WaitForSingleObject(StageReached, INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(Context.ProgressWindow.load(), nullptr);
    SetCounterLabel(4);
    SetFileLabel("C:\\WINDOWS\\SYSTEM\\Vesk.Drv");
    HWND window = AwaitProgressWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ItemText(window, CounterLabelId), "File 4 of 10");
    EXPECT_EQ(ItemText(window, FileLabelId), "C:\\WINDOWS\\SYSTEM\\Vesk.Drv");
    EndProgress(thread);
}

namespace {
struct CreateCall {
    HINSTANCE instance;
    LPCSTR name;
    HWND owner;
    DLGPROC proc;
    LPARAM param;
} LastCreate;
HWND WINAPI FailCreateDialog(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param)
{
    LastCreate = {instance, name, owner, proc, param};
    return nullptr;
}
} // namespace

TEST(ProgressWindow, FailedCreationIsToldOnItsThreadAndEverythingElseGoesOn)
{
    HOOK_IMPORT(CreateDialogParamA, FailCreateDialog);
    HANDLE thread = StartProgressThread();
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0) << "the thread ends";
    DWORD code;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(LastCreate.instance, Self());
    EXPECT_EQ(LastCreate.name, MAKEINTRESOURCEA(109));
    EXPECT_EQ(LastCreate.owner, nullptr);
    EXPECT_EQ(LastCreate.proc, ProgressDlgProc);
    EXPECT_EQ(LastCreate.param, 0);

    ExpectMessages({{"CreateDialog Failed!", nullptr}});
    EXPECT_EQ(RecordedMessages().at(0).threadId, ProgressThreadId);

    // The main thread's calls find no window and return.
    EXPECT_EQ(Context.ProgressWindow.load(), nullptr);
    SetCounterLabel(1);
    SetFileLabel("C:\\WINDOWS\\SYSTEM\\Vesk.Drv");
    CloseProgressWindow();
    CloseHandle(thread);
}

TEST(ProgressWindow, CloseAtAnyStageLeavesNothingOnTheScreen)
{
    const struct {
        const char* name;
        Stage stage;
        bool takeSentMessages;
        DWORD delay;  // before the close, when not held at a stage
    } table[] = {
        {"at once", NoStage, false, 0},
        {"at once", NoStage, false, 0},
        {"a moment later", NoStage, false, 5},
        {"a little later", NoStage, false, 30},
        {"before the creation begins", BeforeCreation, false, 0},
        {"published, not yet shown", WhileCentring, false, 0},
        {"published, not yet shown, taking sent messages", WhileCentring, true, 0},
        {"shown, before the creation returns", AfterCreation, false, 0},
        {"shown, before the creation returns, taking sent messages", AfterCreation, true, 0},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        ResetInstallContext();
        ResetProgressWindow();
        HoldProgressThreadAt(row.stage, 100, row.takeSentMessages);
        CreatedAlive = false;
        HANDLE thread = StartProgressThread();
        if (row.stage != NoStage)
            ASSERT_EQ(WaitForSingleObject(StageReached, INFINITE), WAIT_OBJECT_0);
        Sleep(row.delay);
        EndProgress(thread);
        // A close taken during the creation must not destroy the window there:
        // the creation would fail and tell "CreateDialog Failed!".
        EXPECT_TRUE(CreatedAlive);
    }
    EXPECT_TRUE(RecordedMessages().empty()) << "no creation failed";
}

// Also run alone in a child process by the next test, which leaves the thread waiting.
TEST(ProgressWindow, ThreadOutlivesTheClose)
{
    HoldProgressThreadAt(AfterCreation, 0);
    HANDLE thread = StartProgressThread();
    ASSERT_EQ(WaitForSingleObject(StageReached, INFINITE), WAIT_OBJECT_0);
    Sleep(50);  // into its message loop
    CloseProgressWindow();
    EXPECT_EQ(WaitForSingleObject(thread, 300), WAIT_TIMEOUT) << "the thread ended";
    DWORD code;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, STILL_ACTIVE);
    ExpectClosedForGood();
    if (!strstr(GetCommandLineA(), " --leave-thread"))
        PostThreadMessageA(ProgressThreadId, WM_QUIT, 0, 0), WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

TEST(ProgressWindow, ProcessEndsNormallyWhileTheThreadWaitsForMessages)
{
    std::string command = "\"" + ModulePath() + "\" --gtest_filter=ProgressWindow.ThreadOutlivesTheClose --leave-thread";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process;
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &process));
    CloseHandle(nul);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u) << "the child's test passed and its process ended";
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// ---------------------------------------------------------------------------
// Pictures of every dialog for the documentation (tools/screenshots.sh runs
// this with MARLUNE_SCREENSHOTS set to a folder). Not part of the test run.

namespace {

std::string ShotFolder()
{
    char folder[MAX_PATH] = "";
    GetEnvironmentVariableA("MARLUNE_SCREENSHOTS", folder, sizeof folder);
    return folder;
}

} // namespace

TEST(WizardScreenshots, DISABLED_EveryDialog)
{
    ASSERT_FALSE(ShotFolder().empty()) << "set MARLUNE_SCREENSHOTS to a folder";
    const struct {
        const char* name;
        int dialog;
        BOOL upgrade;
        int platform;
    } shots[] = {
        {"welcome-install-nt", 100, FALSE, PlatformNt}, {"welcome-install-95", 100, FALSE, Platform9x},
        {"welcome-upgrade-nt", 100, TRUE, PlatformNt},  {"welcome-upgrade-95", 100, TRUE, Platform9x},
        {"completion-install", 110, FALSE, PlatformNt}, {"completion-upgrade", 110, TRUE, PlatformNt},
    };
    for (const auto& shot : shots) {
        Context.Upgrade = shot.upgrade;
        Context.Platform = shot.platform;
        // About half a second for the display to show the painted dialog.
        RunWizardDialog(shot.dialog, [&](HWND dialog) {
            EXPECT_TRUE(SaveWindowPicture(dialog, ShotFolder() + "\\" + shot.name + ".bmp"));
            EndDialog(dialog, 2);
        }, 50);
    }
    HANDLE thread = StartProgressThread();
    HWND window = AwaitProgressWindow();
    ASSERT_NE(window, nullptr);
    SetCounterLabel(3);
    SetFileLabel("C:\\WINDOWS\\System32\\drivers\\Vesk.Sys");
    Sleep(500);
    EXPECT_TRUE(SaveWindowPicture(window, ShotFolder() + "\\progress.bmp"));
    EndProgress(thread);
}
