// The Plug and Play registration of the card's PCI devices (Windows 2000 and
// later): the device setup library, loaded by name for one call, and the
// media class instance keys that the devices' driver keys point to.
// RegisterPnpDevices itself is declared in registrations.h.
#pragma once
#include <windows.h>
#include <setupapi.h>

// The media device setup class, {4D36E96C-E325-11CE-BFC1-08002BE10318}.
extern const GUID MediaClassGuid;

// Size of a buffer that holds any text FormatGuid makes.
constexpr DWORD GuidTextSize = 256;
// At most this many media class instances (0000 to 0063) are examined.
constexpr DWORD MediaClassScanCount = 64;

// The library while it is loaded; the entry points are null at every other
// time. SETUPAPI.DLL is never linked: these come from GetProcAddress.
extern HMODULE SetupApiModule;
extern decltype(&SetupDiGetClassDevsA) pSetupDiGetClassDevsA;
extern decltype(&SetupDiEnumDeviceInfo) pSetupDiEnumDeviceInfo;
extern decltype(&SetupDiGetDeviceRegistryPropertyA) pSetupDiGetDeviceRegistryPropertyA;
extern decltype(&SetupDiSetDeviceRegistryPropertyA) pSetupDiSetDeviceRegistryPropertyA;
extern decltype(&SetupDiDestroyDeviceInfoList) pSetupDiDestroyDeviceInfoList;

// Loads SETUPAPI.DLL and takes its five entry points. On failure it has told
// the user, nothing stays loaded and every entry point is null.
BOOL LoadSetupApi();
// Clears the entry points and frees the library; always TRUE.
BOOL UnloadSetupApi();

// Upper-case registry form with braces, 38 characters, into a buffer of
// `size` bytes (cut short, but always terminated, when it is smaller).
char* FormatGuid(GUID guid, char* buffer, size_t size);

// Reads "DriverDesc" of instances 0000 to 0063 of the class. Puts the numbers
// of the card's instances into `numbers` (room for MediaClassScanCount, in
// ascending order) and returns how many; `highest` gets the highest instance
// that has a "DriverDesc", 0 when none has.
int ScanMediaClassKeys(const char* guidText, DWORD* numbers, DWORD* highest);

// Writes the card's driver values into instance `instance` of the class.
void WriteMediaClassKey(const char* guidText, DWORD instance);
