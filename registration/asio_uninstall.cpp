// The ASIO driver class, the PCI bus value (Windows 9x) and the uninstall
// entry: fixed values written in a fixed order through the registry layer.
// Nothing is read and no result is tested; a refused value is told by the
// registry layer and the next one is still written.
#include "registration/registrations.h"
#include "base/registry.h"

namespace {

constexpr char CardName[] = "Marlune";

// The class id of the card's in-process ASIO server, in exactly this case.
#define ASIO_CLASS_ID "{5E2B93A1-7D04-11d3-9C6E-00A0C93F1B52}"
constexpr char AsioClassId[] = ASIO_CLASS_ID;
constexpr char AsioDriverKey[] = "SOFTWARE\\ASIO\\Marlune";
constexpr char AsioClassKey[] = "CLSID\\" ASIO_CLASS_ID;
constexpr char AsioServerKey[] = "CLSID\\" ASIO_CLASS_ID "\\InprocServer32";
#undef ASIO_CLASS_ID

// Named after the card's PCI device id 7C31 and vendor id 10B5; the data is
// the 32-bit number 0x00400000, stored as 4 bytes of REG_BINARY.
constexpr char PciBusKey[] = "System\\CurrentControlSet\\Services\\VxD\\PCI";
constexpr char PciBusValueName[] = "7C3110B5";
constexpr DWORD PciBusValue = 0x00400000;

constexpr char UninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vesk";
constexpr char UninstallDisplayName[] = "Marlune Audio Driver (Remove Only)";

} // namespace

void RegisterAsioDriver(const char* modulePath)
{
    RegWriteMachineString(AsioDriverKey, "CLSID", AsioClassId);
    RegWriteString(HKEY_CLASSES_ROOT, AsioClassKey, nullptr, CardName);
    RegWriteString(HKEY_CLASSES_ROOT, AsioServerKey, nullptr, modulePath);
    RegWriteString(HKEY_CLASSES_ROOT, AsioServerKey, "ThreadingModel", "Apartment");
}

void WritePciBusValue()
{
    RegWriteMachineBinary(PciBusKey, PciBusValueName, PciBusValue);
}

void WriteUninstallEntry(const char* uninstallerPath)
{
    RegWriteMachineString(UninstallKey, "DisplayName", UninstallDisplayName);
    RegWriteMachineString(UninstallKey, "UninstallString", uninstallerPath);
}
