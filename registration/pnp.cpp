// Plug and Play registration (Windows 2000 and later): every PCI device of the
// card that the system has recorded, present or not, is bound directly to the
// card's driver. Its device properties are set through the device setup
// library and the media class instance key its driver key names is written.
#include "registration/pnp.h"
#include "registration/registrations.h"
#include "base/registry.h"
#include "base/system_library.h"
#include "base/text.h"
#include <array>

const GUID MediaClassGuid = {
    0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

HMODULE SetupApiModule;
decltype(&SetupDiGetClassDevsA) pSetupDiGetClassDevsA;
decltype(&SetupDiEnumDeviceInfo) pSetupDiEnumDeviceInfo;
decltype(&SetupDiGetDeviceRegistryPropertyA) pSetupDiGetDeviceRegistryPropertyA;
decltype(&SetupDiSetDeviceRegistryPropertyA) pSetupDiSetDeviceRegistryPropertyA;
decltype(&SetupDiDestroyDeviceInfoList) pSetupDiDestroyDeviceInfoList;

namespace {

constexpr char ClassRoot[] = "System\\CurrentControlSet\\Control\\Class";
constexpr char CardName[] = "Marlune";
constexpr size_t CardNameLength = sizeof CardName - 1;
constexpr char HardwareIdPrefix[] = "pci\\ven_10b5&dev_7c31";
constexpr size_t HardwareIdPrefixLength = sizeof HardwareIdPrefix - 1;
constexpr char Manufacturer[] = "Brenmark, Inc.";
constexpr char ServiceName[] = "Vesk";
constexpr DWORD DeviceConfigFlags = 0x800;

// Only this many members of the device list are looked at.
constexpr DWORD DeviceScanCount = 128;
// The record size the library of Windows 2000 and XP expects on 32-bit.
constexpr DWORD DevInfoDataSize = 28;
static_assert(sizeof(SP_DEVINFO_DATA) == DevInfoDataSize);

constexpr DWORD TextSize = 256;
constexpr size_t KeySize = MAX_PATH;

struct ClassKeyRow {
    const char* Suffix;
    const char* Name;
    const char* Value;
};

// The values of a media class instance key, in the order they are written.
constexpr std::array<ClassKeyRow, 18> ClassKeyTable = {{
    {"", "DriverDesc", "Marlune"},
    {"", "InfPath", "vesk.inf"},
    {"", "InfSection", "VeskInstall"},
    {"", "InfSectionExt", ".NT"},
    {"", "MatchingDeviceId", "pci\\ven_10b5&dev_7c31"},
    {"", "ProviderName", "Brenmark, Inc."},
    {"", "DriverDate", "05-24-2004"},
    {"", "DriverVersion", "1.20 Build 024l"},
    {"\\Drivers", "SubClasses", "wave,midi,mixer"},
    {"\\Drivers\\midi\\Vesk.Dll", "Alias", "MIDI"},
    {"\\Drivers\\midi\\Vesk.Dll", "Description", "Marlune"},
    {"\\Drivers\\midi\\Vesk.Dll", "Driver", "Vesk.Dll"},
    {"\\Drivers\\mixer\\Vesk.Dll", "Alias", "Mixer"},
    {"\\Drivers\\mixer\\Vesk.Dll", "Description", "Marlune"},
    {"\\Drivers\\mixer\\Vesk.Dll", "Driver", "Vesk.Dll"},
    {"\\Drivers\\wave\\Vesk.Dll", "Alias", "Wave"},
    {"\\Drivers\\wave\\Vesk.Dll", "Description", "Marlune"},
    {"\\Drivers\\wave\\Vesk.Dll", "Driver", "Vesk.Dll"},
}};

// The messages of this registration have no icon and the default caption.
void ShowPnpMessage(const char* text)
{
    MessageBoxA(nullptr, text, nullptr, MB_OK);
}

void ClearEntryPoints()
{
    pSetupDiGetClassDevsA = nullptr;
    pSetupDiEnumDeviceInfo = nullptr;
    pSetupDiGetDeviceRegistryPropertyA = nullptr;
    pSetupDiSetDeviceRegistryPropertyA = nullptr;
    pSetupDiDestroyDeviceInfoList = nullptr;
}

// Takes one entry point; the first name the library does not export is
// remembered in `missing`.
template <typename F>
void TakeEntryPoint(F* slot, const char* name, const char** missing)
{
    *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(SetupApiModule, name)));
    if (*slot == nullptr && *missing == nullptr)
        *missing = name;
}

// Sets a text property with its length, without the terminator.
void SetTextProperty(HDEVINFO list, SP_DEVINFO_DATA* device, DWORD property, const char* text)
{
    pSetupDiSetDeviceRegistryPropertyA(list, device, property,
                                       reinterpret_cast<const BYTE*>(text), lstrlenA(text));
}

bool IsCardHardwareId(const char* firstId)
{
    return CompareTextNoCase(firstId, HardwareIdPrefix, HardwareIdPrefixLength) == 0;
}

} // namespace

BOOL LoadSetupApi()
{
    ClearEntryPoints();
    // By its full path: a SETUPAPI.DLL beside Setup.exe is never loaded.
    SetupApiModule = LoadSystemLibrary("SETUPAPI.DLL");
    if (!SetupApiModule) {
        ShowPnpMessage("Unable to Load SetupAPI.Dll");
        return FALSE;
    }
    const char* missing = nullptr;
    TakeEntryPoint(&pSetupDiGetClassDevsA, "SetupDiGetClassDevsA", &missing);
    TakeEntryPoint(&pSetupDiEnumDeviceInfo, "SetupDiEnumDeviceInfo", &missing);
    TakeEntryPoint(&pSetupDiGetDeviceRegistryPropertyA, "SetupDiGetDeviceRegistryPropertyA", &missing);
    TakeEntryPoint(&pSetupDiSetDeviceRegistryPropertyA, "SetupDiSetDeviceRegistryPropertyA", &missing);
    TakeEntryPoint(&pSetupDiDestroyDeviceInfoList, "SetupDiDestroyDeviceInfoList", &missing);
    if (missing) {
        // A library without one of them cannot do the registration; nothing
        // is ever called through a null entry point.
        char text[TextSize];
        FormatText(text, sizeof text, "SETUPAPI.DLL lacks %s", missing);
        ShowPnpMessage(text);
        UnloadSetupApi();
        return FALSE;
    }
    return TRUE;
}

BOOL UnloadSetupApi()
{
    ClearEntryPoints();
    if (SetupApiModule) {
        FreeLibrary(SetupApiModule);
        SetupApiModule = nullptr;
    }
    return TRUE;
}

char* FormatGuid(GUID guid, char* buffer, size_t size)
{
    FormatText(buffer, static_cast<int>(size), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
             guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return buffer;
}

int ScanMediaClassKeys(const char* guidText, DWORD* numbers, DWORD* highest)
{
    int count = 0;
    *highest = 0;
    for (DWORD i = 0; i < MediaClassScanCount; ++i) {
        char key[KeySize];
        FormatText(key, sizeof key, "%s\\%s\\%04lu", ClassRoot, guidText, i);
        // The registry layer ends whatever it read, of any type, inside the buffer.
        char description[TextSize];
        DWORD size = sizeof description;
        if (!RegReadMachineValue(key, "DriverDesc", description, &size))
            continue;
        *highest = i;
        if (CompareTextNoCase(description, CardName, CardNameLength) == 0)
            numbers[count++] = i;
    }
    return count;
}

void WriteMediaClassKey(const char* guidText, DWORD instance)
{
    for (const ClassKeyRow& row : ClassKeyTable) {
        char key[KeySize];
        FormatText(key, sizeof key, "%s\\%s\\%04lu%s", ClassRoot, guidText, instance, row.Suffix);
        RegWriteMachineString(key, row.Name, row.Value);
    }
}

BOOL RegisterPnpDevices()
{
    if (!LoadSetupApi())
        return FALSE;

    char guidText[GuidTextSize];
    FormatGuid(MediaClassGuid, guidText, sizeof guidText);

    DWORD reusable[MediaClassScanCount];
    DWORD highest;
    int reusableCount = ScanMediaClassKeys(guidText, reusable, &highest);
    int reusableNext = 0;

    HDEVINFO list = pSetupDiGetClassDevsA(nullptr, "PCI", nullptr, DIGCF_ALLCLASSES);
    if (list == INVALID_HANDLE_VALUE) {
        ShowPnpMessage("SetupDiGetClassDevs Failed!");
        UnloadSetupApi();
        return FALSE;
    }

    for (DWORD member = 0; member < DeviceScanCount; ++member) {
        char hardwareIds[TextSize] = {};
        SP_DEVINFO_DATA device = {};
        device.cbSize = DevInfoDataSize;
        if (!pSetupDiEnumDeviceInfo(list, member, &device)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS)
                break;
            continue;
        }
        DWORD type;
        if (!pSetupDiGetDeviceRegistryPropertyA(list, &device, SPDRP_HARDWAREID, &type,
                                                reinterpret_cast<BYTE*>(hardwareIds),
                                                sizeof hardwareIds, nullptr)) {
            ShowPnpMessage("SetupDiGetDeviceRegistryProperty Failed!");
            continue;
        }
        // Only the first of the hardware IDs decides.
        if (!IsCardHardwareId(hardwareIds))
            continue;

        SetTextProperty(list, &device, SPDRP_CLASSGUID, guidText);
        SetTextProperty(list, &device, SPDRP_MFG, Manufacturer);
        SetTextProperty(list, &device, SPDRP_DEVICEDESC, CardName);
        SetTextProperty(list, &device, SPDRP_SERVICE, ServiceName);
        DWORD configFlags = DeviceConfigFlags;
        pSetupDiSetDeviceRegistryPropertyA(list, &device, SPDRP_CONFIGFLAGS,
                                           reinterpret_cast<const BYTE*>(&configFlags),
                                           sizeof configFlags);

        // The card's own instances are taken first, then numbers above the
        // highest one in use; no two devices of one call share a number.
        DWORD instance = reusableNext < reusableCount ? reusable[reusableNext++] : ++highest;
        char driverKey[TextSize];
        FormatText(driverKey, sizeof driverKey, "%s\\%04lu", guidText, instance);
        SetTextProperty(list, &device, SPDRP_DRIVER, driverKey);
        WriteMediaClassKey(guidText, instance);
    }

    pSetupDiDestroyDeviceInfoList(list);
    UnloadSetupApi();
    return TRUE;
}
