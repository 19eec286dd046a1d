// Setup.exe's own entry point runs the static constructors in the order the
// toolchain gives them: one of a higher priority first. Exits with 0 then.
#include <windows.h>
static char first;
__attribute__((constructor(65535))) static void Later() { first = first ? first : 'L'; }
__attribute__((constructor(101))) static void Earlier() { first = first ? first : 'H'; }
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return first == 'H' ? 0 : 1; }
