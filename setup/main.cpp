#include <windows.h>
#include "setup/setup_sequence.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int)
{
    return SetupMain(instance, commandTail);
}
