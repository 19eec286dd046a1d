// Closing the card's companion programs before installing.
#include "setup/setup_sequence.h"
#include "base/message.h"

#include <array>
#include "base/text.h"

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
// How long in all one window may keep a question of its own on the screen
// (disabled, or owning an enabled popup) before it counts as frozen and the
// user is told, as for a window that refuses.
constexpr DWORD MaxAskingMs = 30000;
constexpr DWORD AskingPollMs = 100;
// Matching windows followed in one run. More than this many companion
// windows that will not close are left alone: the installation goes on.
constexpr int MaxTrackedWindows = 32;

// What one run knows of a matching window: its refused requests, how long it
// has been asking its user, and whether it has been given up.
struct TrackedWindow {
    HWND Window;
    int Attempts;
    DWORD AskingMs;
    bool GivenUp;
};

struct WindowTable {
    TrackedWindow Rows[MaxTrackedWindows];
    int Count;
};

// Whether `window` has been given up, or a window that owns it: a program's
// question box is owned by its window and left for the user to answer.
bool IsGivenUp(const WindowTable* table, HWND window)
{
    if (!table)
        return false;
    // Owners are followed a few levels up (a question asked from a question).
    for (int level = 0; window && level < 4; ++level, window = GetWindow(window, GW_OWNER))
        for (int i = 0; i < table->Count; ++i)
            if (table->Rows[i].Window == window && table->Rows[i].GivenUp)
                return true;
    return false;
}

// The row of `window`, added when it is new; null when the table is full.
TrackedWindow* Track(WindowTable* table, HWND window)
{
    for (int i = 0; i < table->Count; ++i)
        if (table->Rows[i].Window == window)
            return &table->Rows[i];
    if (table->Count == MaxTrackedWindows)
        return nullptr;
    TrackedWindow* row = &table->Rows[table->Count++];
    *row = {window, 0, 0, false};
    return row;
}

HWND FindWindowSkipping(const char* prefix, const WindowTable* skip)
{
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        if (GetWindowTextLengthA(window) == 0)
            continue;
        char title[256] = "";
        GetWindowTextA(window, title, sizeof title);
        if (TextStartsWith(title, prefix) && !IsGivenUp(skip, window))
            return window;
    }
    return nullptr;
}

// A program that asks its user a question on closing has a modal box up:
// its window is disabled or owns an enabled popup. Platforms that follow the
// documentation of GW_ENABLEDPOPUP answer with the window itself when it has
// no enabled popup; that is no question.
bool AskingUser(HWND window)
{
    if (!IsWindowEnabled(window))
        return true;
    HWND popup = GetWindow(window, GW_ENABLEDPOPUP);
    return popup != nullptr && popup != window;
}

bool WaitUntilGone(HWND window, DWORD milliseconds)
{
    for (DWORD waited = 0; IsWindow(window) && waited < milliseconds; waited += 50)
        Sleep(50);
    return !IsWindow(window);
}

void TellNotClosed(HWND window)
{
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    char text[400];
    FormatText(text, sizeof text,
               "The program \"%s\" could not be closed.\n\n"
               "Please close it yourself before you continue.", title);
    ShowWarning(text);
}

} // namespace

HWND FindWindowByTitlePrefix(const char* prefix)
{
    return FindWindowSkipping(prefix, nullptr);
}

void CloseRunningApps()
{
    WindowTable tracked = {};
    for (const char* prefix : CompanionTitlePrefixes) {
        for (HWND window; (window = FindWindowSkipping(prefix, &tracked)) != nullptr;) {
            // Attempts are counted per window, so windows that take turns at
            // the top of the Z order still reach their limit.
            TrackedWindow* row = Track(&tracked, window);
            if (!row)
                return;
            DWORD_PTR result;
            SendMessageTimeoutA(window, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_ABORTIFHUNG,
                                CloseRequestTimeoutMs, &result);
            if (WaitUntilGone(window, CloseGraceMs))
                continue;
            // Wait as long as the program's own question is on the screen,
            // but not for ever: a program hung on its question is frozen.
            while (IsWindow(window) && AskingUser(window) && row->AskingMs < MaxAskingMs) {
                Sleep(AskingPollMs);
                row->AskingMs += AskingPollMs;
            }
            if (!IsWindow(window))
                continue;
            if (row->AskingMs >= MaxAskingMs || ++row->Attempts >= MaxCloseAttempts) {
                TellNotClosed(window);
                row->GivenUp = true;
            }
        }
    }
}
