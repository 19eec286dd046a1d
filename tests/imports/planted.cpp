// An image that must fail the import check: it imports a function that no
// Windows version we ship for exports, imports WINMM, which a loader takes
// from the program's folder first, and links winpthreads code in.
#include <windows.h>
#include <mmsystem.h>
#include <pthread.h>

extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64();

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return static_cast<int>(GetTickCount64() & 1) + (pthread_self() ? 0 : 1) + static_cast<int>(timeGetTime() & 1);
}
