// A library planted beside Setup.exe under a system library's name (the
// scenarios copy it as WINMM.DLL, SETUPAPI.DLL, LZ32.DLL and OLE32.DLL). It
// exports WINMM's three driver functions, so an image that imports them
// loads it without complaint, and on loading it appends its own path to
// C:\bench\planted.log: a line there means Setup.exe ran code that lay
// beside it. No C runtime comes with it.
#define WIN32_LEAN_AND_MEAN  // leaves out the multimedia declarations this defines
#include <windows.h>

extern "C" {

BOOL WINAPI DllMainCRTStartup(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char line[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(self, line, MAX_PATH), written;
    line[length++] = '\n';
    HANDLE log = CreateFileA("C:\\bench\\planted.log", FILE_APPEND_DATA, FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    WriteFile(log, line, length, &written, nullptr);
    CloseHandle(log);
    return TRUE;
}

__declspec(dllexport) LRESULT WINAPI OpenDriver(LPCWSTR, LPCWSTR, LPARAM) { return 0; }
__declspec(dllexport) LRESULT WINAPI SendDriverMessage(HANDLE, UINT, LPARAM, LPARAM) { return 0; }
__declspec(dllexport) LRESULT WINAPI CloseDriver(HANDLE, LPARAM, LPARAM) { return 0; }

} // extern "C"
