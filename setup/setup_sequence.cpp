#include "setup/setup_sequence.h"
#include "setup/startup.h"

int SetupMain(HINSTANCE instance, const char* commandTail)
{
    if (!RunStartup(instance, commandTail))
        return 0;
    return 0;
}
