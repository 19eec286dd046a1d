// Restarting the machine after an upgrade, in the way of the platform.
#include "setup/setup_sequence.h"
#include "setup/install_context.h"
#include "setup/startup.h"

void RestartSystem()
{
    if (Context.Platform == PlatformNt) {
        HANDLE token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            return;
        if (SetPrivilege(token, "SeShutdownPrivilege", TRUE))
            InitiateSystemShutdownA(nullptr, nullptr, 0, FALSE, TRUE);
        SetPrivilege(token, "SeShutdownPrivilege", FALSE);
        CloseHandle(token);
    } else {
        ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
    }
}
