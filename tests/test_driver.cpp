// A stand-in installable driver for the unit tests: it accepts every message
// and appends each message number, comma-separated, to the environment
// variable MARLUNE_DRIVER_MESSAGES of the process that loaded it.
#include <windows.h>
#include <cstdio>

extern "C" __declspec(dllexport) LRESULT WINAPI DriverProc(DWORD_PTR, HDRVR, UINT message,
                                                          LPARAM, LPARAM)
{
    char messages[1024] = "";
    DWORD length = GetEnvironmentVariableA("MARLUNE_DRIVER_MESSAGES", messages, sizeof messages);
    if (length >= sizeof messages - 16)
        length = 0;  // never expected; start over rather than overflow
    snprintf(messages + length, sizeof messages - length, "%s%u", length ? "," : "", message);
    SetEnvironmentVariableA("MARLUNE_DRIVER_MESSAGES", messages);
    return 1;  // loads, opens (as driver id 1) and accepts everything
}
