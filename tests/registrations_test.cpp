// The ASIO, bus and uninstall registrations and the multimedia driver slots
// against the real registry of the test prefix, and the driver's install and
// enable messages with a stand-in driver in the system directory. Every key
// a test touches is saved before and put back afterwards.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "registration/registrations.h"
#include "tests/support/import_hook.h"

namespace {

const char Drivers32[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const char DriversDesc[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";
const char ClassId[] = "{5E2B93A1-7D04-11d3-9C6E-00A0C93F1B52}";
const std::string ClassKey = std::string("CLSID\\") + ClassId;
const std::string ServerKey = ClassKey + "\\InprocServer32";
const char AsioKey[] = "SOFTWARE\\ASIO\\Marlune";
const char PciKey[] = "System\\CurrentControlSet\\Services\\VxD\\PCI";
const char UninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vesk";
const char Default[] = "(default)";  // how the default value's name is shown here

// ---- Raw registry access, outside the code under test ----------------------

struct RawValue {
    std::string name;
    std::string data;  // REG_SZ in the tables: the text, stored with its terminator
    DWORD type = REG_SZ;
    bool raw = false;  // data exactly as enumerated
};
std::string Bytes(const RawValue& v) { return v.type == REG_SZ && !v.raw ? v.data + '\0' : v.data; }

// name -> "type:bytes", the bytes exactly as stored
using KeyValues = std::map<std::string, std::string>;
std::string Stored(DWORD type, const std::string& bytes) { return std::to_string(type) + ":" + bytes; }

std::vector<RawValue> EnumValues(HKEY key)
{
    std::vector<RawValue> values;
    char name[512], data[4096];
    DWORD nameSize = sizeof name, dataSize = sizeof data, type;
    for (DWORD i = 0; RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                    &dataSize) == ERROR_SUCCESS; ++i) {
        values.push_back({nameSize ? name : Default, std::string(data, dataSize), type, true});
        nameSize = sizeof name, dataSize = sizeof data;
    }
    return values;
}

KeyValues ReadValues(HKEY root, const std::string& path)
{
    KeyValues values;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (const RawValue& v : EnumValues(key))
        values[v.name] = Stored(v.type, v.data);
    RegCloseKey(key);
    return values;
}

void StoreValues(HKEY root, const std::string& path, const std::vector<RawValue>& values)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr), ERROR_SUCCESS) << path;
    for (const RawValue& v : values) {
        std::string bytes = Bytes(v);
        EXPECT_EQ(RegSetValueExA(key, v.name == Default ? nullptr : v.name.c_str(), 0, v.type,
                                 reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()),
                  ERROR_SUCCESS) << v.name;
    }
    RegCloseKey(key);
}

// A key tree as it was before a test.
struct SavedKey {
    HKEY root;
    std::string path;
    bool existed;
    std::vector<RawValue> values;
    std::vector<SavedKey> subkeys;
};

SavedKey SaveKey(HKEY root, const std::string& path)
{
    SavedKey saved{root, path, false, {}, {}};
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return saved;
    saved.existed = true;
    saved.values = EnumValues(key);
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        saved.subkeys.push_back(SaveKey(root, path + "\\" + name));
    }
    RegCloseKey(key);
    return saved;
}

void RecreateKey(const SavedKey& saved)
{
    if (!saved.existed)
        return;
    StoreValues(saved.root, saved.path, saved.values);
    for (const SavedKey& sub : saved.subkeys)
        RecreateKey(sub);
}

void RestoreKey(const SavedKey& saved)
{
    RegDeleteTreeA(saved.root, saved.path.c_str());
    RecreateKey(saved);
}

// ---- A log of every value write, with refusals on request -------------------

std::vector<std::string> writes;         // "root\key [name] type:bytes"
std::vector<std::string> writtenNames;   // the value names alone
std::set<std::string> refusedNames;      // value names whose RegSetValueExA fails
std::map<HKEY, std::string> keyPaths;    // open key handle -> "root\key"
decltype(&RegCreateKeyExA) realCreateKey;
decltype(&RegSetValueExA) realSetValue;

std::string KeyName(HKEY root, const std::string& path)
{
    return (root == HKEY_CLASSES_ROOT ? "HKCR\\" : root == HKEY_LOCAL_MACHINE ? "HKLM\\" : "?\\") + path;
}

std::string Written(HKEY root, const std::string& path, const std::string& name, DWORD type,
                    const std::string& bytes)
{
    return KeyName(root, path) + " [" + name + "] " + Stored(type, bytes);
}

LONG WINAPI LogCreateKey(HKEY root, LPCSTR subkey, DWORD reserved, LPSTR cls, DWORD options,
                         REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition)
{
    LONG result = realCreateKey(root, subkey, reserved, cls, options, access, security, key, disposition);
    if (result == ERROR_SUCCESS)
        keyPaths[*key] = KeyName(root, subkey);
    return result;
}

LONG WINAPI LogSetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    std::string shownName = name ? name : Default;
    writes.push_back(keyPaths[key] + " [" + shownName + "] " +
                     Stored(type, std::string(reinterpret_cast<const char*>(data), size)));
    writtenNames.push_back(shownName);
    if (refusedNames.count(shownName))
        return ERROR_ACCESS_DENIED;
    return realSetValue(key, name, reserved, type, data, size);
}

void LogWrites(std::set<std::string> refuse = {})
{
    writes.clear();
    writtenNames.clear();
    keyPaths.clear();
    refusedNames = std::move(refuse);
    realCreateKey = HOOK_IMPORT(RegCreateKeyExA, LogCreateKey);
    realSetValue = HOOK_IMPORT(RegSetValueExA, LogSetValue);
}

std::string SystemPath(const char* file)
{
    char dir[MAX_PATH];
    GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\" + file;
}

class Registrations : public testing::Test {
protected:
    void SetUp() override
    {
        for (auto [root, path] : {std::pair<HKEY, std::string>{HKEY_LOCAL_MACHINE, Drivers32},
                                  {HKEY_LOCAL_MACHINE, DriversDesc},
                                  {HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO"},
                                  {HKEY_CLASSES_ROOT, ClassKey},
                                  {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD"},
                                  {HKEY_LOCAL_MACHINE, UninstallKey}})
            saved_.push_back(SaveKey(root, path));
    }
    void TearDown() override
    {
        RestoreImports();  // the key restore must not go through the hooks
        for (const SavedKey& key : saved_)
            RestoreKey(key);
    }
    // Drivers32 as saved, with the drivers Wine itself lists there added.
    std::vector<RawValue> OtherDrivers() const
    {
        std::vector<RawValue> values = saved_[0].values;
        for (RawValue v : {RawValue{"wavemapper", "msacm32.drv"}, RawValue{"midimapper", "midimap.dll"},
                           RawValue{"msacm.imaadpcm", "imaadp32.acm"}})
            values.push_back(v);
        return values;
    }
    std::vector<SavedKey> saved_;
};

} // namespace

// ---- ASIO, bus and uninstall ------------------------------------------------

// The NT module, then the 9x module as a second run over the first: each run
// writes the same seven values in order, and each key ends with exactly its
// values, the data with its terminator and the bus value as 4 binary bytes.
TEST_F(Registrations, AsioBusAndUninstallValuesAreWrittenInOrderAndRewrittenInPlace)
{
    const std::string uninstaller = "C:\\windows\\RmVesk.exe";
    for (const std::string& module : {SystemPath("Vesk.Dll"), SystemPath("VeskASIO.Dll")}) {
        SCOPED_TRACE(module);
        LogWrites();
        WriteUninstallEntry(uninstaller.c_str());
        RegisterAsioDriver(module.c_str());
        WritePciBusValue();
        RestoreImports();

        struct { HKEY root; std::string key; std::string name; DWORD type; std::string bytes; } values[] = {
            {HKEY_LOCAL_MACHINE, UninstallKey, "DisplayName", REG_SZ,
             std::string("Marlune Audio Driver (Remove Only)\0", 35)},
            {HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString", REG_SZ, uninstaller + '\0'},
            {HKEY_LOCAL_MACHINE, AsioKey, "CLSID", REG_SZ, ClassId + std::string(1, '\0')},
            {HKEY_CLASSES_ROOT, ClassKey, Default, REG_SZ, std::string("Marlune\0", 8)},
            {HKEY_CLASSES_ROOT, ServerKey, Default, REG_SZ, module + '\0'},
            {HKEY_CLASSES_ROOT, ServerKey, "ThreadingModel", REG_SZ, std::string("Apartment\0", 10)},
            {HKEY_LOCAL_MACHINE, PciKey, "7C3110B5", REG_BINARY, std::string("\0\0\x40\0", 4)},
        };
        std::vector<std::string> expectedWrites;
        std::map<std::pair<HKEY, std::string>, KeyValues> expectedKeys;
        for (const auto& v : values) {
            expectedWrites.push_back(Written(v.root, v.key, v.name, v.type, v.bytes));
            expectedKeys[{v.root, v.key}][v.name] = Stored(v.type, v.bytes);
        }
        EXPECT_EQ(writes, expectedWrites);
        for (const auto& [key, keyValues] : expectedKeys)
            EXPECT_EQ(ReadValues(key.first, key.second), keyValues) << key.second;
    }
    EXPECT_TRUE(RecordedMessages().empty());
}

// A refused value is told with its name (null for a default value) and every
// later write is still attempted; what was refused is simply missing.
TEST_F(Registrations, RefusedWritesAreToldAndTheNextWriteIsStillMade)
{
    StoreValues(HKEY_LOCAL_MACHINE, Drivers32, {{"Wave", "a.drv"}, {"Wave2", "b.drv"}});
    LogWrites({"MIDI", "Wave1", "Vesk.Dll", Default, "DisplayName", "7C3110B5"});
    ReorderDriverSlots();
    WriteDriverDescription();
    RegisterAsioDriver(SystemPath("Vesk.Dll").c_str());
    WriteUninstallEntry("C:\\windows\\RmVesk.exe");
    WritePciBusValue();
    RestoreImports();

    EXPECT_EQ(writtenNames, (std::vector<std::string>{
                                 "Wave", "MIDI", "Mixer", "Wave1", "Wave2", "Vesk.Dll", "CLSID", Default,
                                 Default, "ThreadingModel", "DisplayName", "UninstallString", "7C3110B5"}));
    std::vector<std::pair<std::string, const char*>> warnings;
    for (const char* caption : {"MIDI", "Wave1", "Vesk.Dll", "", "", "DisplayName", "7C3110B5"})
        warnings.push_back({"RegSetValueEx Failed!", *caption ? caption : nullptr});  // "": a default value's
    ExpectMessages(warnings);
    KeyValues slots = ReadValues(HKEY_LOCAL_MACHINE, Drivers32);
    EXPECT_EQ(slots.count("MIDI") + slots.count("Wave1"), 0u);
    EXPECT_EQ(slots["Mixer"], Stored(REG_SZ, std::string("Vesk.Dll\0", 9)));
    EXPECT_EQ(slots["Wave2"], Stored(REG_SZ, std::string("b.drv\0", 6)));
    EXPECT_EQ(ReadValues(HKEY_CLASSES_ROOT, ServerKey).count("ThreadingModel"), 1u);
    EXPECT_EQ(ReadValues(HKEY_LOCAL_MACHINE, UninstallKey).count("UninstallString"), 1u);
}

// ---- Driver slots -----------------------------------------------------------

TEST_F(Registrations, DescriptionIsTheCardNameUnderTheModuleName)
{
    WriteDriverDescription();
    EXPECT_EQ(ReadValues(HKEY_LOCAL_MACHINE, DriversDesc)["Vesk.Dll"],
              Stored(REG_SZ, std::string("Marlune\0", 8)));
}

TEST_F(Registrations, SlotReorderingMovesOtherDriversBehindTheCardsDriver)
{
    const std::string Card = "Vesk.Dll";
    const std::vector<RawValue> Claimed = {{"Wave", Card}, {"MIDI", Card}, {"Mixer", Card}};
    const std::string big(300, 'B'), fits(255, 'F'), overCell(256, 'O');
    std::vector<RawValue> sixteen, sixteenAfter = Claimed;
    for (int n = 0; n < 16; ++n) {
        sixteen.push_back({n ? "Wave" + std::to_string(n) : "Wave", "d" + std::to_string(n) + ".drv"});
        sixteenAfter.push_back({"Wave" + std::to_string(n + 1), "d" + std::to_string(n) + ".drv"});
    }
    auto with = [&](std::vector<RawValue> more) {
        std::vector<RawValue> all = Claimed;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    struct Case {
        const char* what;
        std::vector<RawValue> before, after;
    };
    const Case cases[] = {
        {"Wave alone", {{"Wave", "a.drv"}}, with({{"Wave1", "a.drv"}})},
        {"second installation", with({{"Wave1", "a.drv"}}), with({{"Wave1", "a.drv"}})},
        {"gaps close", {{"MIDI", "a.dll"}, {"MIDI3", "b.dll"}},
         with({{"MIDI1", "a.dll"}, {"MIDI2", "b.dll"}})},
        {"the card's entries are dropped in any case",
         {{"Wave", "VESK.DLL"}, {"Wave1", "vesk.dll"}, {"Wave2", "vEsK.dLl.old"}, {"Wave3", "c.drv"},
          {"MIDI", "Vesk.Dl"}, {"MIDI1", "Vesk_Dll"}, {"Mixer4", "xVesk.Dll"}},
         with({{"Wave1", "c.drv"}, {"MIDI1", "Vesk.Dl"}, {"MIDI2", "Vesk_Dll"}, {"Mixer1", "xVesk.Dll"}})},
        {"empty key", {}, Claimed},
        {"numbers 16 and above are left alone",
         {{"Wave16", "z.drv"}, {"MIDI20", "y.dll"}, {"Mixer15", "m.drv"}},
         with({{"Mixer1", "m.drv"}, {"Wave16", "z.drv"}, {"MIDI20", "y.dll"}})},
        {"each kind is numbered on its own",
         {{"Wave", "a.drv"}, {"Wave5", "b.drv"}, {"Mixer2", "c.drv"}, {"Wave12", "e.drv"}},
         with({{"Wave1", "a.drv"}, {"Wave2", "b.drv"}, {"Wave3", "e.drv"}, {"Mixer1", "c.drv"}})},
        {"too large values stay unless a rewrite reaches their name",
         {{"Wave", big}, {"Wave1", "a.drv"}, {"Wave2", big}, {"Wave3", big}, {"Wave4", "b.drv"},
          {"MIDI1", big}},
         with({{"Wave1", "a.drv"}, {"Wave2", "b.drv"}, {"Wave3", big}, {"MIDI1", big}})},
        {"a cell holds 255 characters and the terminator, no more",
         {{"Mixer", fits}, {"Mixer1", overCell}}, with({{"Mixer1", fits}})},
        {"data that is not text: short data is taken as text, a full cell without a terminator stays",
         {{"Wave1", overCell, REG_BINARY}, {"Wave2", "abc", REG_BINARY}, {"Wave4", overCell, REG_BINARY}},
         with({{"Wave1", "abc"}, {"Wave4", overCell, REG_BINARY}})},
        // Sixteen other drivers need the numbers 1 to 16: the last one goes
        // to Wave16 rather than being lost.
        {"sixteen other drivers all stay", sixteen, sixteenAfter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, Drivers32);
        StoreValues(HKEY_LOCAL_MACHINE, Drivers32, OtherDrivers());
        StoreValues(HKEY_LOCAL_MACHINE, Drivers32, c.before);
        ReorderDriverSlots();
        KeyValues expected;
        for (const std::vector<RawValue>& values : {OtherDrivers(), c.after})
            for (const RawValue& v : values)
                expected[v.name] = Stored(v.type, Bytes(v));
        EXPECT_EQ(ReadValues(HKEY_LOCAL_MACHINE, Drivers32), expected);
    }
    EXPECT_TRUE(RecordedMessages().empty());
}

// ---- Install and enable -----------------------------------------------------

namespace {

std::vector<int> DriverMessages()
{
    std::vector<int> numbers;
    char text[1024] = "";
    GetEnvironmentVariableA("MARLUNE_DRIVER_MESSAGES", text, sizeof text);
    for (char* p = text; *p;) {
        numbers.push_back(strtol(p, &p, 10));
        if (*p == ',')
            ++p;
    }
    return numbers;
}

int sentMessages;
std::wstring openedDriver;
decltype(&SendDriverMessage) realSend;
decltype(&OpenDriver) realOpenDriver;
HDRVR WINAPI RecordOpenDriver(LPCWSTR name, LPCWSTR section, LPARAM parameter)
{
    openedDriver = name;
    return realOpenDriver(name, section, parameter);
}
LRESULT WINAPI CountSend(HDRVR driver, UINT message, LPARAM a, LPARAM b)
{
    ++sentMessages;
    return realSend(driver, message, a, b);
}

} // namespace

// Puts the stand-in driver (or nothing) into the system directory as
// Vesk.Dll; a Vesk.Dll that was there already is kept aside meanwhile.
class InstallDriver : public testing::Test {
protected:
    void SetUp() override
    {
        MoveFileExA(driver_.c_str(), aside_.c_str(), MOVEFILE_REPLACE_EXISTING);
        SetEnvironmentVariableA("MARLUNE_DRIVER_MESSAGES", nullptr);
        sentMessages = 0;
        realSend = HOOK_IMPORT(SendDriverMessage, CountSend);
        realOpenDriver = HOOK_IMPORT(OpenDriver, RecordOpenDriver);
    }
    void TearDown() override
    {
        DeleteFileA(driver_.c_str());
        MoveFileExA(aside_.c_str(), driver_.c_str(), 0);
    }
    void PlaceStandIn()
    {
        std::string source = "Z:" TEST_DRIVER_PATH;
        for (char& c : source)
            if (c == '/')
                c = '\\';
        ASSERT_TRUE(CopyFileA(source.c_str(), driver_.c_str(), FALSE)) << source;
    }
    void ExpectInstallAndEnable()
    {
        PlaceStandIn();
        InstallAndEnableDriver();
        // Opening loads (1), enables (2) and opens (3) the driver; between the
        // open and the close (4) come exactly install (9) and enable (2).
        std::vector<int> messages = DriverMessages();
        auto open = std::find(messages.begin(), messages.end(), DRV_OPEN);
        ASSERT_NE(open, messages.end()) << testing::PrintToString(messages);
        ASSERT_GE(messages.end() - open, 4) << testing::PrintToString(messages);
        EXPECT_EQ(std::vector<int>(open + 1, open + 4),
                  (std::vector<int>{DRV_INSTALL, DRV_ENABLE, DRV_CLOSE}))
            << testing::PrintToString(messages);
        EXPECT_EQ(sentMessages, 2);
        // By its full path: WINMM would look for a bare name beside the program first.
        EXPECT_EQ(openedDriver, std::wstring(driver_.begin(), driver_.end()));
        EXPECT_TRUE(RecordedMessages().empty());
        EXPECT_TRUE(DeleteFileA(driver_.c_str())) << "the driver is still loaded";
    }
    std::string driver_ = SystemPath("Vesk.Dll");
    std::string aside_ = SystemPath("Vesk.Dll.kept-by-test");
};
class InstallDriverNt40 : public InstallDriver {};

TEST_F(InstallDriver, DriverReceivesInstallAndEnable) { ExpectInstallAndEnable(); }
TEST_F(InstallDriverNt40, DriverReceivesInstallAndEnable) { ExpectInstallAndEnable(); }

TEST_F(InstallDriver, MissingDriverIsSkippedSilently)
{
    InstallAndEnableDriver();
    EXPECT_EQ(sentMessages, 0);
    EXPECT_TRUE(DriverMessages().empty());
    EXPECT_TRUE(RecordedMessages().empty());
}
