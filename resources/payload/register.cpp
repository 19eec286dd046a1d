// Register.exe: stand-in for the card's online registration program. It
// tells the user that this build cannot register the card and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    MessageBoxA(nullptr,
                "Online registration of the Marlune card needs the registration wizard, "
                "which this build does not include.\n\n"
                "Please register your card with Brenmark directly.",
                "Marlune Online Registration Wizard", MB_OK | MB_ICONINFORMATION);
    return 0;
}
