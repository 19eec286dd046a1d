// VeskASIO.Dll: stand-in for the card's ASIO driver on Windows 95/98, the
// in-process server that the ASIO class registration names there. It has the
// exports a COM in-process server needs and offers no class, so an ASIO host
// that tries to open the card is told that the driver is not available.
#include <windows.h>

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
