#include "base/install_context.h"

InstallContext Context = {0, 0, nullptr, "", "", "", "", "", "", FALSE, TRUE, nullptr, 0};

void ResetInstallContext()
{
    Context.Platform = 0;
    Context.OsMajorVersion = 0;
    Context.Instance = nullptr;
    Context.WindowsDir[0] = Context.SystemDir[0] = Context.DriversDir[0] = '\0';
    Context.InfDir[0] = Context.TempDir[0] = Context.AppDir[0] = '\0';
    Context.Upgrade = FALSE;
    Context.RegisterDevices = TRUE;
    Context.ProgressWindow.store(nullptr);
    Context.FileCounter = 0;
}
