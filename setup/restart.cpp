// Restarting the machine after an upgrade, in the way of the platform.
#include "setup/setup_sequence.h"
#include "base/install_context.h"
#include "setup/startup.h"

void RestartSystem()
{
    if (Context.Platform == PlatformNt) {
        HANDLE token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            return;
        if (SetPrivilege(token, "SeShutdownPrivilege", TRUE)) {
            // Looked up by name: Windows NT exports it, but whether Windows
            // 95/98 do is unproven, and one missing import would keep the
            // whole program from starting there.
            auto shutdown = reinterpret_cast<decltype(&InitiateSystemShutdownA)>(
                reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ADVAPI32.DLL"),
                                                       "InitiateSystemShutdownA")));
            if (shutdown)
                shutdown(nullptr, nullptr, 0, FALSE, TRUE);
        }
        SetPrivilege(token, "SeShutdownPrivilege", FALSE);
        CloseHandle(token);
    } else {
        ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
    }
}
