// Closing the card's companion programs before installing.
#include "setup/setup_sequence.h"
#include "setup/message.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::array<const char*, 6> CompanionTitlePrefixes = {
    "Marlune Mixer", "Marlune 1 Mixer", "Marlune 2 Mixer",
    "Marlune 3 Mixer", "Marlune 4 Mixer", "Uninstall Marlune Driver",
};

// A close request that is not handled within this time counts as refused;
// a hung window is given up at once (SMTO_ABORTIFHUNG).
constexpr UINT CloseRequestTimeoutMs = 2000;
// How long a program that handled the request may take to go away.
constexpr DWORD CloseGraceMs = 1500;
// Refused or unanswered requests to one window before the user is told.
constexpr int MaxCloseAttempts = 3;

HWND FindWindowSkipping(const char* prefix, const std::vector<HWND>& skip)
{
    int prefixLength = lstrlenA(prefix);
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        if (GetWindowTextLengthA(window) == 0)
            continue;
        char title[256];
        GetWindowTextA(window, title, sizeof title);
        if (strncmp(title, prefix, prefixLength) == 0
            && std::find(skip.begin(), skip.end(), window) == skip.end())
            return window;
    }
    return nullptr;
}

// A program that asks its user a question on closing has a modal box up:
// its window is disabled or owns an enabled popup.
bool AskingUser(HWND window)
{
    return !IsWindowEnabled(window) || GetWindow(window, GW_ENABLEDPOPUP) != nullptr;
}

bool WaitUntilGone(HWND window, DWORD milliseconds)
{
    for (DWORD waited = 0; IsWindow(window) && waited < milliseconds; waited += 50)
        Sleep(50);
    return !IsWindow(window);
}

void TellNotClosed(HWND window)
{
    char title[256];
    GetWindowTextA(window, title, sizeof title);
    char text[400];
    snprintf(text, sizeof text,
             "The program \"%s\" could not be closed.\n\n"
             "Please close it yourself; the installation goes on.", title);
    ShowWarning(text);
}

} // namespace

HWND FindWindowByTitlePrefix(const char* prefix)
{
    return FindWindowSkipping(prefix, {});
}

void CloseRunningApps()
{
    std::vector<HWND> givenUp;
    for (const char* prefix : CompanionTitlePrefixes) {
        HWND current = nullptr;
        int attempts = 0;
        for (HWND window; (window = FindWindowSkipping(prefix, givenUp)) != nullptr;) {
            if (window != current) {
                current = window;
                attempts = 0;
            }
            DWORD_PTR result;
            SendMessageTimeoutA(window, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_ABORTIFHUNG,
                                CloseRequestTimeoutMs, &result);
            if (WaitUntilGone(window, CloseGraceMs))
                continue;
            // Wait as long as the program's own question is on the screen.
            while (IsWindow(window) && AskingUser(window))
                Sleep(100);
            if (!IsWindow(window))
                continue;
            if (++attempts >= MaxCloseAttempts) {
                TellNotClosed(window);
                givenUp.push_back(window);
            }
        }
    }
}
