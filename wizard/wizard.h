// The two wizard dialogs (welcome 100, completion 110) and CenterWindow.
#pragma once
#include <windows.h>

constexpr int WelcomeDialogId = 100;
constexpr int ProgressDialogId = 109;
constexpr int CompletionDialogId = 110;

// Runs one wizard dialog modally; returns the id given to EndDialog (1 or 2),
// or -1 when the dialog could not be created.
INT_PTR ShowWizardDialog(int dialogId, HWND owner);
INT_PTR CALLBACK WizardDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Centres a top-level window on the desktop, shows, raises and activates it.
void CenterWindow(HWND window);

// Every window of the wizard that the user sees (welcome, completion,
// progress) carries this mark in its user data (GWL_USERDATA, which another
// process may read; a dialog's own data is DWLP_USER) while it exists, so that
// a second copy of the setup can find it and bring it forward.
constexpr LONG SetupWindowMark = 0x4D524C4E;  // "MRLN"
void MarkSetupWindow(HWND window);
void UnmarkSetupWindow(HWND window);
