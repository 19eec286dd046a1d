// The registry layer against the real registry of the test prefix, with
// import hooks where a refusal has to be provoked.
#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>
#include <string>
#include "base/registry.h"
#include "tests/support/handle_ledger.h"
#include "tests/support/import_hook.h"
#include "tests/support/raw_registry.h"

namespace {

const std::string Scratch = "Software\\MarluneRegistryTest";

std::string Key(const std::string& tail) { return Scratch + "\\" + tail; }

bool KeyExists(const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class Registry : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, Scratch.c_str()); }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, Scratch.c_str()); }
};

int flushes, closes;
decltype(&RegFlushKey) realFlush;
decltype(&RegCloseKey) realClose;
LONG WINAPI CountFlush(HKEY key) { ++flushes; return realFlush(key); }
LONG WINAPI CountClose(HKEY key) { ++closes; return realClose(key); }
void CountFlushesAndCloses()
{
    flushes = closes = 0;
    realFlush = HOOK_IMPORT(RegFlushKey, CountFlush);
    realClose = HOOK_IMPORT(RegCloseKey, CountClose);
}
LONG WINAPI RefuseSet(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }
LONG WINAPI RefuseCreate(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY,
                         LPDWORD) { return ERROR_ACCESS_DENIED; }

} // namespace

TEST_F(Registry, WritesStoreTypesAndExactByteCounts)
{
    RegWriteMachineString(Key("Values").c_str(), "Name", "Marlune");
    RegWriteMachineString(Key("Values").c_str(), "Empty", "");
    RegWriteMachineBinary(Key("Values").c_str(), "Bus", 0x00400000);
    RegWriteString(HKEY_LOCAL_MACHINE, Key("Values").c_str(), nullptr, "Default");

    struct { const char* name; DWORD type; std::string bytes; } expected[] = {
        {"Name", REG_SZ, std::string("Marlune\0", 8)},
        {"Empty", REG_SZ, std::string("\0", 1)},
        {"Bus", REG_BINARY, std::string("\x00\x00\x40\x00", 4)},
        {nullptr, REG_SZ, std::string("Default\0", 8)},
    };
    for (const auto& e : expected) {
        DWORD type = 0;
        EXPECT_EQ(RawMachineValue(Key("Values"), e.name, &type), e.bytes) << (e.name ? e.name : "(default)");
        EXPECT_EQ(type, e.type) << (e.name ? e.name : "(default)");
    }
    EXPECT_TRUE(RecordedMessages().empty());
}

TEST_F(Registry, WriteCreatesTheWholeKeyPathAndFlushesAndClosesOnce)
{
    CountFlushesAndCloses();
    EXPECT_TRUE(RegWriteMachineString(Key("A\\B\\C").c_str(), "V", "x"));
    EXPECT_EQ(flushes, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(KeyExists(Key("A\\B\\C")));
}

TEST_F(Registry, ReadsAndDeletesUnderAMissingKeyFailAndCreateNothing)
{
    char buffer[MAX_PATH];
    memset(buffer, '#', sizeof buffer);
    DWORD count = 256;
    EXPECT_FALSE(RegReadMachineValue(Key("Missing").c_str(), "V", buffer, &count));
    EXPECT_STREQ(buffer, "") << "a key that cannot be opened leaves an empty text";
    EXPECT_EQ(RegGetString(HKEY_LOCAL_MACHINE, Key("Missing").c_str(), "V", buffer), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RegRemoveValue(HKEY_LOCAL_MACHINE, Key("Missing").c_str(), "V"));
    EXPECT_FALSE(KeyExists(Key("Missing")));
    EXPECT_FALSE(KeyExists(Scratch));
    EXPECT_TRUE(RecordedMessages().empty());
}

TEST_F(Registry, ReadResultsForMissingTooLargeAndFittingValues)
{
    StoreRaw(Key("R"), "Small", std::string("a.drv\0", 6));
    StoreRaw(Key("R"), "Big", std::string(300, 'b') + '\0');
    char buffer[MAX_PATH];
    DWORD count = 256;
    EXPECT_TRUE(RegReadMachineValue(Key("R").c_str(), "Small", buffer, &count));
    EXPECT_STREQ(buffer, "a.drv");
    EXPECT_EQ(count, 6u);
    count = 256;
    EXPECT_FALSE(RegReadMachineValue(Key("R").c_str(), "Big", buffer, &count));
    count = 256;
    EXPECT_FALSE(RegReadMachineValue(Key("R").c_str(), "Absent", buffer, &count));

    EXPECT_EQ(RegGetString(HKEY_LOCAL_MACHINE, Key("R").c_str(), "Small", buffer), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "a.drv");
    EXPECT_EQ(RegGetString(HKEY_LOCAL_MACHINE, Key("R").c_str(), "Big", buffer), ERROR_MORE_DATA);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(RegGetString(HKEY_LOCAL_MACHINE, Key("R").c_str(), "Absent", buffer), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(RecordedMessages().empty());
}

// A value stored without a terminator, a string or of any other type, must
// still come back as text that ends inside the buffer; one that fills the
// buffer with no room for the terminator is refused like a value that is too
// large.
TEST_F(Registry, UnterminatedStringsAreTerminatedOrRefused)
{
    struct Case { std::string stored; DWORD bufferSize; bool ok; std::string text; DWORD type = REG_SZ; };
    const Case cases[] = {
        {"abc", 256, true, "abc"},
        {std::string(255, 'x'), 256, true, std::string(255, 'x')},
        {std::string(256, 'y'), 256, false, ""},
        {std::string(255, 'z') + '\0', 256, true, std::string(255, 'z')},
        {std::string(259, 'p'), MAX_PATH, true, std::string(259, 'p')},
        {std::string(260, 'q'), MAX_PATH, false, ""},
        {std::string(259, 'r') + '\0', MAX_PATH, true, std::string(259, 'r')},
        {"ABCD", 256, true, "ABCD", REG_DWORD},
        {std::string(256, 'b'), 256, false, "", REG_BINARY},
        {std::string(259, 'c'), MAX_PATH, true, std::string(259, 'c'), REG_BINARY},
        {std::string(260, 'd'), MAX_PATH, false, "", REG_BINARY},
        {"EFGH", MAX_PATH, true, "EFGH", REG_DWORD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored.size() << " bytes of type " << c.type << " into " << c.bufferSize);
        StoreRaw(Key("U"), "S", c.stored, c.type);
        char buffer[MAX_PATH + 8];
        memset(buffer, '#', sizeof buffer);
        if (c.bufferSize == MAX_PATH) {
            LONG r = RegGetString(HKEY_LOCAL_MACHINE, Key("U").c_str(), "S", buffer);
            EXPECT_EQ(r == ERROR_SUCCESS, c.ok);
        } else {
            DWORD count = c.bufferSize;
            EXPECT_EQ(!!RegReadMachineValue(Key("U").c_str(), "S", buffer, &count), c.ok);
        }
        ASSERT_NE(memchr(buffer, 0, c.bufferSize), nullptr);
        if (c.ok)
            EXPECT_EQ(std::string(buffer), c.text);
        EXPECT_EQ(buffer[c.bufferSize], '#') << "written past the buffer";
    }
}

TEST_F(Registry, RemoveValueReportsWhetherItDeleted)
{
    StoreRaw(Key("D"), "There", std::string("1\0", 2));
    EXPECT_TRUE(RegRemoveValue(HKEY_LOCAL_MACHINE, Key("D").c_str(), "There"));
    DWORD type;
    EXPECT_EQ(RawMachineValue(Key("D"), "There", &type), "<no value>");
    CountFlushesAndCloses();
    EXPECT_FALSE(RegRemoveValue(HKEY_LOCAL_MACHINE, Key("D").c_str(), "There"));
    EXPECT_EQ(flushes, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(RecordedMessages().empty());
}

TEST_F(Registry, RefusedSetValueIsToldWithTheValueNameAndNotFlushed)
{
    HOOK_IMPORT(RegSetValueExA, RefuseSet);
    CountFlushesAndCloses();
    EXPECT_FALSE(RegWriteMachineString(Key("W").c_str(), "Wave1", "a.drv"));
    EXPECT_FALSE(RegWriteString(HKEY_LOCAL_MACHINE, Key("W").c_str(), nullptr, "Marlune"));
    EXPECT_FALSE(RegWriteMachineBinary(Key("W").c_str(), "7C3110B5", 0x400000));
    EXPECT_EQ(flushes, 0);
    EXPECT_EQ(closes, 3);
    ExpectMessages({{"RegSetValueEx Failed!", "Wave1"}, {"RegSetValueEx Failed!", nullptr},
                    {"RegSetValueEx Failed!", "7C3110B5"}});
}

TEST_F(Registry, KeyThatCannotBeCreatedFailsSilently)
{
    HOOK_IMPORT(RegCreateKeyExA, RefuseCreate);
    EXPECT_FALSE(RegWriteMachineString(Key("X").c_str(), "V", "x"));
    EXPECT_TRUE(RecordedMessages().empty());
}

namespace {
std::vector<HKEY> keptOpen;
LONG WINAPI KeepOpen(HKEY key)
{
    keptOpen.push_back(key);
    return ERROR_SUCCESS;
}
} // namespace

// The handle ledger fails a test whose product code left a key open, naming
// the call that opened it; a key the test itself leaves open is not its
// business.
TEST_F(Registry, TheHandleLedgerNamesAKeyThatTheProductLeftOpen)
{
    StoreRaw(Key("L"), "V", std::string("x\0", 2));
    HKEY own;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key("L").c_str(), 0, KEY_READ, &own), ERROR_SUCCESS);
    EXPECT_TRUE(OpenProductHandles().empty());
    RegCloseKey(own);

    keptOpen.clear();
    HOOK_IMPORT(RegCloseKey, KeepOpen);
    char buffer[16];
    DWORD count = sizeof buffer;
    EXPECT_TRUE(RegReadMachineValue(Key("L").c_str(), "V", buffer, &count));
    RestoreImports();
    EXPECT_NONFATAL_FAILURE(ReportOpenProductHandles(), "RegOpenKeyExA");
    EXPECT_TRUE(OpenProductHandles().empty());
    ASSERT_EQ(keptOpen.size(), 1u);
    RegCloseKey(keptOpen[0]);
}
