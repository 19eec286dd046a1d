// The welcome and completion dialogs: one dialog procedure picks the wording
// for the platform and the mode, then centres the dialog on the desktop.
#include "wizard/wizard.h"
#include "base/install_context.h"

namespace {

constexpr int IntroTextId = 1100;   // welcome: what the program will do
constexpr int CardTextId = 1101;    // welcome: the card hint; completion: the result
constexpr int ChoiceTextId = 1102;  // welcome: what the buttons do
constexpr int ContinueId = 1;       // welcome "Continue", completion "Restart"
constexpr int CancelId = 2;         // welcome "Cancel", completion "Close"

const char UpgradeIntroText[] =
    "This program will upgrade the Marlune driver and associated files on your computer.  "
    "We recommend exiting any other programs that are currently running before continuing "
    "the upgrade process.";
const char UpgradeChoiceText[] =
    "Select \"Continue\" to proceed with the driver upgrade, or select \"Cancel\" to quit.";
const char InstallAfterText[] =
    "You should install your Marlune Audio Card in a PCI Slot inside your computer AFTER "
    "this process is complete.";
const char UpgradeCompleteText[] =
    "Your Marlune driver upgrade has completed successfully!  You will need to restart your "
    "computer to finish the upgrade process.\n\nPlease be sure to send in your warranty "
    "registration card or run the Online Registration Wizard so we can provide you with the "
    "best service possible.";
const char InstallCompleteText[] =
    "Your Marlune driver installation has completed successfully!\n\nPlease be sure to send in "
    "your warranty registration card or run the Online Registration Wizard so we can provide "
    "you with the best service possible.";

void WordWelcomeDialog(HWND window)
{
    bool nt = Context.Platform == PlatformNt;
    if (Context.Upgrade) {
        SetWindowTextA(window, nt ? "Marlune Windows NT Driver Upgrade Wizard"
                                  : "Marlune Windows 95 Driver Upgrade Wizard");
        SetDlgItemTextA(window, IntroTextId, UpgradeIntroText);
        SetDlgItemTextA(window, ChoiceTextId, UpgradeChoiceText);
    } else if (nt) {
        SetWindowTextA(window, "Marlune Windows NT Driver Installation Wizard");
    } else {
        SetWindowTextA(window, "Marlune Windows 95 Driver Installation Wizard");
        SetDlgItemTextA(window, CardTextId, InstallAfterText);
    }
}

void WordCompletionDialog(HWND window)
{
    if (Context.Upgrade) {
        SetDlgItemTextA(window, CardTextId, UpgradeCompleteText);
    } else {
        // Nothing to restart after a fresh install: "Restart" is hidden.
        SetDlgItemTextA(window, CardTextId, InstallCompleteText);
        ShowWindow(GetDlgItem(window, ContinueId), SW_HIDE);
    }
}

} // namespace

INT_PTR ShowWizardDialog(int dialogId, HWND owner)
{
    // The id names the template and tells WizardDlgProc which dialog it runs.
    return DialogBoxParamA(Context.Instance, MAKEINTRESOURCEA(dialogId), owner, WizardDlgProc,
                           dialogId);
}

INT_PTR CALLBACK WizardDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        // Escape, Alt+F4 and the close box arrive here as command 2.
        int command = LOWORD(wParam);
        if (command == ContinueId || command == CancelId)
            EndDialog(window, command);
        return TRUE;
    }
    case WM_INITDIALOG:
        if (lParam == WelcomeDialogId)
            WordWelcomeDialog(window);
        else if (lParam == CompletionDialogId)
            WordCompletionDialog(window);
        MarkSetupWindow(window);
        CenterWindow(window);
        return TRUE;  // the dialog manager focuses the first tab stop
    case WM_DESTROY:
        UnmarkSetupWindow(window);
        return FALSE;
    }
    return FALSE;
}

void CenterWindow(HWND window)
{
    RECT rect, desktop;
    GetWindowRect(window, &rect);
    GetWindowRect(GetDesktopWindow(), &desktop);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    // Each half is rounded on its own, and the desktop's left and top are
    // taken as 0: the whole screen's centre, taskbar included.
    int x = desktop.right / 2 - width / 2;
    int y = desktop.bottom / 2 - height / 2;
    SetWindowPos(window, HWND_TOP, x, y, -1, -1, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(window);
}

void MarkSetupWindow(HWND window)
{
    SetWindowLongA(window, GWL_USERDATA, SetupWindowMark);
}

void UnmarkSetupWindow(HWND window)
{
    SetWindowLongA(window, GWL_USERDATA, 0);
}
