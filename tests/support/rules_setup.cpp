// Setup.exe as the scenarios for Windows 95, 98 and NT 4 run it: the product's
// code unchanged, started after the platform rules of the version it sees
// were put in place, so that Wine refuses what those platforms refuse.
#include <windows.h>
#include "setup/setup_sequence.h"
#include "base/system_library.h"
#include "tests/support/platform_rules.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int)
{
    InstallPlatformRules(PlatformRulesForThisVersion());
    HardenLibrarySearch();
    LoadSystemImports();
    return SetupMain(instance, commandTail);
}
