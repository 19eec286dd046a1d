// Vesk.Dll: stand-in for the card's Windows NT driver library. It answers the
// installable-driver messages the way a working driver does, so that the
// setup's driver registration can be followed end to end, and it drives no
// hardware.
//
// Message log: every message that DriverProc receives is appended as one line
// to the text file "Temp\vesk-driver.log" in the Windows directory
// (C:\windows\temp\vesk-driver.log under Wine), in the form
//     DRV_INSTALL 9
// that is the message's name (or "message" for any other) and its number in
// decimal, ended by CR LF. A test deletes the file, lets the setup or its own
// code talk to the driver, and reads the lines in order.
//
// Like the ASIO library, it also serves as the in-process server named by the
// ASIO class registration on Windows NT; this stand-in offers no class.
#include <windows.h>
#include <mmsystem.h>
#include <cstdio>

namespace {

struct MessageName {
    UINT message;
    const char* name;
};

constexpr MessageName MessageNames[] = {
    {DRV_LOAD, "DRV_LOAD"},       {DRV_ENABLE, "DRV_ENABLE"},
    {DRV_OPEN, "DRV_OPEN"},       {DRV_CLOSE, "DRV_CLOSE"},
    {DRV_DISABLE, "DRV_DISABLE"}, {DRV_FREE, "DRV_FREE"},
    {DRV_CONFIGURE, "DRV_CONFIGURE"}, {DRV_QUERYCONFIGURE, "DRV_QUERYCONFIGURE"},
    {DRV_INSTALL, "DRV_INSTALL"}, {DRV_REMOVE, "DRV_REMOVE"},
    {DRV_POWER, "DRV_POWER"},
};

void LogMessage(UINT message)
{
    const char* name = "message";
    for (const MessageName& entry : MessageNames)
        if (entry.message == message)
            name = entry.name;

    char path[MAX_PATH];
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const char* separator = path[length - 1] == '\\' ? "" : "\\";
    char logPath[MAX_PATH];
    int n = snprintf(logPath, sizeof logPath, "%s%sTemp\\vesk-driver.log", path, separator);
    if (n < 0 || n >= MAX_PATH)
        return;

    char line[64];
    int lineLength = snprintf(line, sizeof line, "%s %u\r\n", name, message);
    HANDLE file = CreateFileA(logPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written;
    WriteFile(file, line, static_cast<DWORD>(lineLength), &written, nullptr);
    CloseHandle(file);
}

// Open instances get the ids 1, 2, 3 ...; zero would refuse the open.
LONG nextDriverId = 0;

} // namespace

extern "C" __declspec(dllexport) LRESULT WINAPI DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message,
                                                          LPARAM lParam1, LPARAM lParam2)
{
    LogMessage(message);
    switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_CLOSE:
        return 1;
    case DRV_OPEN:
        return InterlockedIncrement(&nextDriverId);
    case DRV_QUERYCONFIGURE:
        return 0;  // nothing to configure
    case DRV_CONFIGURE:
    case DRV_INSTALL:
    case DRV_REMOVE:
        return DRVCNF_OK;
    }
    return DefDriverProc(driverId, driver, message, lParam1, lParam2);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void** object)
{
    if (object)
        *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow()
{
    return S_OK;
}
