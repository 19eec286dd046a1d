// Plug and Play registration against Wine's own device setup library and
// registry: devices of the card are staged as recorded PCI device instances
// and what the registration leaves is read back. Import hooks on
// LoadLibraryA, GetProcAddress and FreeLibrary provoke what Wine cannot; the
// SetupDi calls are faulted through wrappers that GetProcAddress hands out.
#include <gtest/gtest.h>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>
#include "registration/pnp.h"
#include "registration/registrations.h"
#include "tests/support/import_hook.h"
#include "tests/support/import_slots.h"
#include "tests/support/raw_registry.h"

namespace {

const std::string MediaClass = "{4D36E96C-E325-11CE-BFC1-08002BE10318}";
const std::string ClassKey = "System\\CurrentControlSet\\Control\\Class\\" + MediaClass;
const std::string PciKey = "System\\CurrentControlSet\\Enum\\PCI";
// The media class key as it was before the test, while a test runs.
const std::string BackupRoot = "Software\\MarlunePnpTest", BackupTree = BackupRoot + "\\MediaClass";
const std::string Staged = "MARLUNE_TEST_";  // sorts before every "VEN_..." device
const char CardId[] = "PCI\\VEN_10B5&DEV_7C31&SUBSYS_00011A2B&REV_01";

std::string Number(DWORD n)
{
    char text[16];
    snprintf(text, sizeof text, "\\%04lu", n);
    return text;
}
std::string InstanceKey(DWORD n) { return ClassKey + Number(n); }
// The Driver property of a device bound to instance n, as the device reports it.
std::string DriverKey(DWORD n) { return MediaClass + Number(n) + '\0'; }
std::string DeviceKey(const std::string& device) { return PciKey + "\\" + Staged + device + "\\0"; }
std::string Sz(const std::string& text) { return text + '\0'; }

std::string Value(const std::string& path, const char* name, DWORD* type = nullptr)
{
    return RawMachineValue(path, name, type);
}
std::string DriverOf(const std::string& device) { return Value(DeviceKey(device), "Driver"); }

// A recorded PCI device, Enum\PCI\MARLUNE_TEST_<device>\0, of another class.
void StageDevice(const std::string& device, const std::vector<std::string>& hardwareIds)
{
    std::string multi;
    for (const std::string& id : hardwareIds)
        multi += Sz(id);
    StoreRaw(DeviceKey(device), "HardwareID", Sz(multi), REG_MULTI_SZ);
    StoreRaw(DeviceKey(device), "ClassGUID", Sz("{4D36E97D-E325-11CE-BFC1-08002BE10318}"));
}

// Deletes the subkeys of `path` whose names `pick` selects.
template <typename Pick>
void DeleteSubkeys(const std::string& path, Pick pick)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::string> doomed;
    char name[256];
    for (DWORD i = 0, size = sizeof name; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr,
                                                        nullptr) == ERROR_SUCCESS; ++i, size = sizeof name)
        if (pick(std::string(name)))
            doomed.push_back(name);
    for (const std::string& name : doomed)
        RegDeleteTreeA(key, name.c_str());
    RegCloseKey(key);
}
void RemoveStagedDevices()
{
    DeleteSubkeys(PciKey, [](const std::string& n) { return n.compare(0, Staged.size(), Staged) == 0; });
}
void ClearClassInstances()
{
    DeleteSubkeys(ClassKey, [](const std::string& n) { return n.find_first_not_of("0123456789") == n.npos; });
}

// Copies a whole key; true also when there is nothing to copy.
bool CopyKey(const std::string& from, const std::string& to)
{
    HKEY source, target;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, from.c_str(), 0, KEY_READ, &source) != ERROR_SUCCESS)
        return true;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &target, nullptr);
    if (r == ERROR_SUCCESS) {
        r = RegCopyTreeA(source, nullptr, target);
        RegCloseKey(target);
    }
    RegCloseKey(source);
    EXPECT_EQ(r, ERROR_SUCCESS) << from;
    return r == ERROR_SUCCESS;
}
// Puts the media class key back as it was (absent when the backup holds no
// copy); the backup stays until that has succeeded.
void RestoreMediaClass()
{
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, BackupRoot.c_str(), 0, KEY_READ, &root) != ERROR_SUCCESS)
        return;
    RegCloseKey(root);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ClassKey.c_str());
    if (CopyKey(BackupTree, ClassKey))
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, BackupRoot.c_str());
}

// What the code under test does with the library and the class keys.
HMODULE loaded;
std::vector<HMODULE> freed;
std::vector<std::string> classKeysOpened;
std::vector<std::string> valuesWritten;  // "name=data"
decltype(&LoadLibraryA) realLoadLibrary;
decltype(&FreeLibrary) realFreeLibrary;
decltype(&GetProcAddress) realGetProcAddress;
decltype(&RegOpenKeyExA) realRegOpen;
decltype(&RegSetValueExA) realRegSet;

HMODULE WINAPI RecordLoad(LPCSTR name)
{
    loaded = realLoadLibrary(name);
    return loaded;
}
HMODULE WINAPI RefuseLoad(LPCSTR)
{
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}
BOOL WINAPI RecordFree(HMODULE module)
{
    freed.push_back(module);
    return realFreeLibrary(module);
}
LONG WINAPI RecordOpen(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key)
{
    if (path && strncmp(path, ClassKey.c_str(), ClassKey.size()) == 0)
        classKeysOpened.push_back(path + ClassKey.size());
    return realRegOpen(root, path, options, access, key);
}
LONG WINAPI RecordSet(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    valuesWritten.push_back(std::string(name) + '=' + std::string(reinterpret_cast<const char*>(data), size));
    return realRegSet(key, name, reserved, type, data, size);
}

// SetupDi wrappers, handed out by GetProcAddress in place of the library's own.
enum { Record, Withhold, RefuseTheList, Pretend } wrapping;
const char* withheld;  // the entry point that GetProcAddress denies
decltype(&SetupDiEnumDeviceInfo) realEnumDevice;
decltype(&SetupDiSetDeviceRegistryPropertyA) realSetProperty;
std::vector<std::string> propertiesSet;  // "code=data"
std::vector<int> pretended;  // pretended member index -> real index (-1: an error)
std::vector<DWORD> indexesAsked;
int destroyed;

HDEVINFO WINAPI RefuseList(const GUID*, PCSTR, HWND, DWORD) { return INVALID_HANDLE_VALUE; }
BOOL WINAPI CountDestroy(HDEVINFO) { ++destroyed; return TRUE; }
BOOL WINAPI PretendMembers(HDEVINFO list, DWORD index, PSP_DEVINFO_DATA device)
{
    indexesAsked.push_back(index);
    if (index < pretended.size() && pretended[index] >= 0)
        return realEnumDevice(list, pretended[index], device);
    SetLastError(index < pretended.size() ? ERROR_INVALID_DATA : ERROR_NO_MORE_ITEMS);
    return FALSE;
}
BOOL WINAPI RecordProperty(HDEVINFO list, PSP_DEVINFO_DATA device, DWORD code, const BYTE* data, DWORD size)
{
    propertiesSet.push_back(std::to_string(code) + '=' + std::string(reinterpret_cast<const char*>(data), size));
    return realSetProperty(list, device, code, data, size);
}
FARPROC WINAPI WrapEntryPoints(HMODULE module, LPCSTR name)
{
    FARPROC real = realGetProcAddress(module, name);
    auto is = [name](const char* entry) { return strcmp(name, entry) == 0; };
    auto proc = [](auto f) { return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(f)); };
    if (wrapping == Withhold && is(withheld))
        return nullptr;
    if (wrapping == RefuseTheList && is("SetupDiGetClassDevsA"))
        return proc(RefuseList);
    if (wrapping == RefuseTheList && is("SetupDiDestroyDeviceInfoList"))
        return proc(CountDestroy);
    if (wrapping == Record)
        return HandOut(real, name, "SetupDiSetDeviceRegistryPropertyA", &RecordProperty, &realSetProperty);
    return wrapping == Pretend ? HandOut(real, name, "SetupDiEnumDeviceInfo", &PretendMembers, &realEnumDevice) : real;
}

class Pnp : public testing::Test {
protected:
    void SetUp() override
    {
        RestoreMediaClass();  // left behind by a run that did not finish
        RemoveStagedDevices();
        StoreRaw(BackupRoot, "Pending", Sz("1"));
        ASSERT_TRUE(CopyKey(ClassKey, BackupTree));
        ClearClassInstances();
        loaded = nullptr;
        destroyed = 0;
        freed.clear();
        classKeysOpened.clear();
        valuesWritten.clear();
        indexesAsked.clear();
        propertiesSet.clear();
        pretended.clear();
        realLoadLibrary = HOOK_IMPORT(LoadLibraryA, RecordLoad);
        realFreeLibrary = HOOK_IMPORT(FreeLibrary, RecordFree);
        realRegOpen = HOOK_IMPORT(RegOpenKeyExA, RecordOpen);
    }
    void TearDown() override
    {
        RestoreImports();  // the test's refusals must not reach the clean-up
        RemoveStagedDevices();
        RestoreMediaClass();
    }
    static void WrapSetupApi(decltype(wrapping) how)
    {
        wrapping = how;
        realGetProcAddress = HOOK_IMPORT(GetProcAddress, WrapEntryPoints);
    }
    // The library was freed exactly once, and nothing of it is left.
    static void ExpectUnloaded()
    {
        EXPECT_EQ(freed, std::vector<HMODULE>(loaded ? 1 : 0, loaded));
        EXPECT_EQ(SetupApiModule, nullptr);
        EXPECT_TRUE(!pSetupDiGetClassDevsA && !pSetupDiEnumDeviceInfo && !pSetupDiGetDeviceRegistryPropertyA
                    && !pSetupDiSetDeviceRegistryPropertyA && !pSetupDiDestroyDeviceInfoList);
    }
};

} // namespace

TEST_F(Pnp, WithoutACardTheClassKeysAreOnlyRead)
{
    StoreRaw(InstanceKey(3), "DriverDesc", Sz("Marlune"));
    StageDevice("OTHER", {"PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01"});
    realRegSet = HOOK_IMPORT(RegSetValueExA, RecordSet);

    EXPECT_TRUE(RegisterPnpDevices());
    ASSERT_EQ(classKeysOpened.size(), 64u);  // missing instances do not end the scan
    EXPECT_EQ(classKeysOpened.front() + classKeysOpened.back(), "\\0000\\0063");
    EXPECT_TRUE(valuesWritten.empty());
    EXPECT_EQ(DriverOf("OTHER"), "<no value>");
    ExpectMessages({});
    ExpectUnloaded();
}

// One card with an instance of its own, 0003, below the highest, 0007.
TEST_F(Pnp, CardIsBoundToItsOwnInstanceWithEveryPropertyAndClassValue)
{
    StoreRaw(InstanceKey(3), "DriverDesc", Sz("Marlune"));
    StoreRaw(InstanceKey(3), "DriverVersion", Sz("1.00 Build 001"));
    StoreRaw(InstanceKey(3) + "\\Drivers\\wave\\Vesk.Dll", "Alias", Sz("Old"));
    StoreRaw(InstanceKey(7), "DriverDesc", Sz("Other Audio"));
    StageDevice("CARD", {CardId, "PCI\\VEN_10B5&DEV_7C31"});
    realRegSet = HOOK_IMPORT(RegSetValueExA, RecordSet);
    WrapSetupApi(Record);

    EXPECT_TRUE(RegisterPnpDevices());
    ExpectMessages({});
    ExpectUnloaded();
    // Texts are handed over without their terminator; the platform adds it.
    const struct { DWORD code; const char* name; DWORD type; std::string data; } properties[] = {
        {SPDRP_CLASSGUID, "ClassGUID", REG_SZ, MediaClass}, {SPDRP_MFG, "Mfg", REG_SZ, "Brenmark, Inc."},
        {SPDRP_DEVICEDESC, "DeviceDesc", REG_SZ, "Marlune"}, {SPDRP_SERVICE, "Service", REG_SZ, "Vesk"},
        {SPDRP_CONFIGFLAGS, "ConfigFlags", REG_DWORD, std::string("\0\x08\0\0", 4)},
        {SPDRP_DRIVER, "Driver", REG_SZ, MediaClass + "\\0003"},
    };
    ASSERT_EQ(propertiesSet.size(), std::size(properties));
    for (size_t i = 0; i < std::size(properties); ++i) {
        const auto& p = properties[i];
        EXPECT_EQ(propertiesSet[i], std::to_string(p.code) + '=' + p.data);
        DWORD type;
        EXPECT_EQ(Value(DeviceKey("CARD"), p.name, &type), p.type == REG_SZ ? Sz(p.data) : p.data);
        EXPECT_EQ(type, p.type) << p.name;
    }
    const struct { const char* suffix; const char* name; const char* value; } rows[] = {
        {"", "DriverDesc", "Marlune"}, {"", "InfPath", "vesk.inf"}, {"", "InfSection", "VeskInstall"},
        {"", "InfSectionExt", ".NT"}, {"", "MatchingDeviceId", "pci\\ven_10b5&dev_7c31"},
        {"", "ProviderName", "Brenmark, Inc."}, {"", "DriverDate", "05-24-2004"},
        {"", "DriverVersion", "1.20 Build 024l"}, {"\\Drivers", "SubClasses", "wave,midi,mixer"},
        {"\\Drivers\\midi\\Vesk.Dll", "Alias", "MIDI"}, {"\\Drivers\\midi\\Vesk.Dll", "Description", "Marlune"},
        {"\\Drivers\\midi\\Vesk.Dll", "Driver", "Vesk.Dll"}, {"\\Drivers\\mixer\\Vesk.Dll", "Alias", "Mixer"},
        {"\\Drivers\\mixer\\Vesk.Dll", "Description", "Marlune"}, {"\\Drivers\\mixer\\Vesk.Dll", "Driver", "Vesk.Dll"},
        {"\\Drivers\\wave\\Vesk.Dll", "Alias", "Wave"}, {"\\Drivers\\wave\\Vesk.Dll", "Description", "Marlune"},
        {"\\Drivers\\wave\\Vesk.Dll", "Driver", "Vesk.Dll"},
    };
    ASSERT_EQ(valuesWritten.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {  // in this order, each with its terminator
        EXPECT_EQ(valuesWritten[i], rows[i].name + ('=' + Sz(rows[i].value))) << "row " << i + 1;
        EXPECT_EQ(Value(InstanceKey(3) + rows[i].suffix, rows[i].name), Sz(rows[i].value)) << "row " << i + 1;
    }
    EXPECT_EQ(Value(InstanceKey(7), "DriverDesc"), Sz("Other Audio"));
}

TEST_F(Pnp, InstanceNumbersReuseTheCardsOwnThenGrowAboveTheHighest)
{
    const struct {
        const char* what;
        std::vector<std::pair<DWORD, const char*>> descriptions;  // null: a key without "DriverDesc"
        std::vector<DWORD> expected;  // one per card, in enumeration order
    } cases[] = {
        {"second card above the highest", {{3, "Marlune"}, {7, "Other Audio"}}, {3, 8}},
        {"no DriverDesc anywhere", {{0, nullptr}, {2, nullptr}}, {1, 2}},
        {"any case, text after the name", {{2, "MARLUNE PCI"}, {5, "marlune"}, {6, "Marl"}, {9, "A Marlune"}},
         {2, 5, 10}},
        {"0063 is the last one scanned", {{63, "marlune 2"}, {64, "Other"}, {70, "Marlune"}}, {63, 64}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveStagedDevices();
        ClearClassInstances();
        for (const auto& [n, text] : c.descriptions)
            StoreRaw(InstanceKey(n), text ? "DriverDesc" : "InfPath", Sz(text ? text : "x.inf"));
        for (size_t i = 0; i < c.expected.size(); ++i)
            StageDevice("CARD" + std::to_string(i), {CardId});

        EXPECT_TRUE(RegisterPnpDevices());
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(DriverOf("CARD" + std::to_string(i)), DriverKey(c.expected[i])) << "card " << i;
            EXPECT_EQ(Value(InstanceKey(c.expected[i]), "DriverDesc"), Sz("Marlune"));
        }
    }
    ExpectMessages({});
}

// Only the first hardware ID decides. IDs that do not fit in 256 bytes
// cannot be read: that device is told of once and skipped, the walk goes on.
TEST_F(Pnp, FirstHardwareIdDecidesAndUnreadableIdsAreToldOnce)
{
    const struct { const char* device; std::vector<std::string> ids; std::string driver; } devices[] = {
        {"A_TOO_LONG", {CardId, std::string(150, 'X'), std::string(150, 'Y')}, "<no value>"},
        {"B_EXACT", {"pci\\ven_10b5&dev_7c31"}, DriverKey(1)},
        {"C_CAPITALS_AND_TAIL", {CardId, "PCI\\VEN_10B5&DEV_7C31"}, DriverKey(2)},
        {"D_ONLY_LATER", {"PCI\\VEN_10B5&DEV_7C30&SUBSYS_00011A2B", "PCI\\VEN_10B5&DEV_7C31"}, "<no value>"},
        {"E_SHORT", {"PCI\\VEN_10B5&DEV_7C3"}, "<no value>"},
        {"F_OTHER", {"PCI\\VEN_10B5&DEV_7C32&SUBSYS_00011A2B&REV_01"}, "<no value>"},
    };
    for (const auto& d : devices)
        StageDevice(d.device, d.ids);
    EXPECT_TRUE(RegisterPnpDevices());
    for (const auto& d : devices)
        EXPECT_EQ(DriverOf(d.device), d.driver) << d.device;
    ExpectMessages({{"SetupDiGetDeviceRegistryProperty Failed!", nullptr}}, MB_OK);  // no icon
    ExpectUnloaded();
}

// A list that pretends to hold 200 members: only 0 to 127 are asked for, and
// members that fail for another reason than the end are skipped silently.
TEST_F(Pnp, WalkSkipsEnumerationErrorsAndStopsAfter128Members)
{
    for (const char* device : {"A", "B", "C"})
        StageDevice(device, {CardId});
    StageDevice("N", {"PCI\\VEN_8086&DEV_2415"});
    pretended.assign(200, 3);  // real members: 0 A, 1 B, 2 C, 3 N
    pretended[0] = pretended[2] = -1;
    pretended[1] = 0;
    pretended[127] = 1;
    pretended[128] = 2;
    WrapSetupApi(Pretend);

    EXPECT_TRUE(RegisterPnpDevices());
    ASSERT_EQ(indexesAsked.size(), 128u);
    EXPECT_EQ(indexesAsked.back(), 127u);
    EXPECT_EQ(DriverOf("A") + DriverOf("B") + DriverOf("C"), DriverKey(1) + DriverKey(2) + "<no value>");
    ExpectMessages({});
    ExpectUnloaded();
}

// No library, a library without one of the five functions, or no device
// list: the registration is skipped with a message, and nothing stays loaded.
TEST_F(Pnp, LibraryOrDeviceListMissingSkipsTheRegistration)
{
    StageDevice("CARD", {CardId});
    HOOK_IMPORT(LoadLibraryA, RefuseLoad);
    EXPECT_FALSE(RegisterPnpDevices());
    ExpectMessages({{"Unable to Load SetupAPI.Dll", nullptr}}, MB_OK);
    ExpectUnloaded();

    HOOK_IMPORT(LoadLibraryA, RecordLoad);
    WrapSetupApi(Withhold);
    for (const char* name : {"SetupDiGetClassDevsA", "SetupDiEnumDeviceInfo", "SetupDiGetDeviceRegistryPropertyA",
                             "SetupDiSetDeviceRegistryPropertyA", "SetupDiDestroyDeviceInfoList"}) {
        withheld = name;
        freed.clear();
        ClearRecordedMessages();
        EXPECT_FALSE(RegisterPnpDevices());
        ExpectMessages({{std::string("SETUPAPI.DLL lacks ") + name, nullptr}}, MB_OK);
        ExpectUnloaded();
    }
    EXPECT_TRUE(classKeysOpened.empty());

    wrapping = RefuseTheList;
    freed.clear();
    ClearRecordedMessages();
    EXPECT_FALSE(RegisterPnpDevices());
    ExpectMessages({{"SetupDiGetClassDevs Failed!", nullptr}}, MB_OK);
    EXPECT_EQ(destroyed, 0);
    ExpectUnloaded();
    EXPECT_EQ(DriverOf("CARD"), "<no value>");
}

TEST(PnpGuid, FormatsEveryFieldWithItsLeadingZeros)
{
    char text[GuidTextSize];
    const GUID guid = {0xA, 0xB, 0xC0, {1, 2, 3, 4, 5, 6, 7, 0xF8}};
    EXPECT_STREQ(FormatGuid(guid, text, sizeof text), "{0000000A-000B-00C0-0102-0304050607F8}");
}
