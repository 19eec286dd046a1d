// Start-up under real Wine platform versions, with import hooks for the
// failures Wine cannot produce on its own.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "base/install_context.h"
#include "setup/startup.h"
#include "base/system_library.h"
#include "base/text.h"
#include "wizard/wizard.h"
#include "tests/support/import_hook.h"
#include "tests/support/raw_registry.h"

namespace {

std::string EnvOr(const char* name, const char* fallback)
{
    char value[64];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? value : fallback;
}

bool DirectoryExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Calls that touch directories or the machine, counted to prove they did not
// happen. A directory set in `fakeWindows`, `fakeSystem` or `fakeTemp` is
// answered as Windows answers an over-long one: the size needed when the
// buffer is too small, the text when it fits.
int touches, creates;
std::string fakeWindows, fakeSystem, fakeTemp;
decltype(&GetWindowsDirectoryA) realWindowsDir;
decltype(&GetSystemDirectoryA) realSystemDir;
decltype(&CreateDirectoryA) realCreateDir;
decltype(&GetTempPathA) realTempPath;
UINT Answer(const std::string& path, LPSTR b, UINT n)
{
    if (n <= path.size())
        return path.size() + 1;
    strcpy(b, path.c_str());
    return path.size();
}
UINT WINAPI CountWindowsDir(LPSTR b, UINT n) { ++touches; return fakeWindows.empty() ? realWindowsDir(b, n) : Answer(fakeWindows, b, n); }
UINT WINAPI FakeSystemDir(LPSTR b, UINT n) { return fakeSystem.empty() ? realSystemDir(b, n) : Answer(fakeSystem, b, n); }
BOOL WINAPI CountCreateDir(LPCSTR p, LPSECURITY_ATTRIBUTES a) { ++touches; ++creates; return realCreateDir(p, a); }
DWORD WINAPI CountTempPath(DWORD n, LPSTR b) { ++touches; return fakeTemp.empty() ? realTempPath(n, b) : Answer(fakeTemp, b, n); }
void CountDirectoryCalls()
{
    touches = creates = 0;
    realWindowsDir = HOOK_IMPORT(GetWindowsDirectoryA, CountWindowsDir);
    realSystemDir = HOOK_IMPORT(GetSystemDirectoryA, FakeSystemDir);
    realCreateDir = HOOK_IMPORT(CreateDirectoryA, CountCreateDir);
    realTempPath = HOOK_IMPORT(GetTempPathA, CountTempPath);
}

const char ProgramFilesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

// Sets the machine's "ProgramFilesDir", or with null removes it.
void SetProgramFilesDir(const char* value)
{
    HKEY key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, ProgramFilesKey, 0, KEY_ALL_ACCESS, &key);
    if (value)
        RegSetValueExA(key, "ProgramFilesDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), strlen(value) + 1);
    else
        RegDeleteValueA(key, "ProgramFilesDir");
    RegCloseKey(key);
}

// Sets TMP and TEMP for this process (GetTempPathA reads them) and restores them.
class TempVariables {
public:
    TempVariables() { Save("TMP", tmp_); Save("TEMP", temp_); Save("USERPROFILE", profile_); }
    ~TempVariables()
    {
        SetEnvironmentVariableA("TMP", tmp_.c_str());
        SetEnvironmentVariableA("TEMP", temp_.c_str());
        SetEnvironmentVariableA("USERPROFILE", profile_.c_str());
    }
    static void Set(const std::string& path)
    {
        SetEnvironmentVariableA("TMP", path.c_str());
        SetEnvironmentVariableA("TEMP", path.c_str());
    }
    // No TMP or TEMP: the platform takes the user's profile.
    static void SetProfile(const std::string& path)
    {
        SetEnvironmentVariableA("TMP", nullptr);
        SetEnvironmentVariableA("TEMP", nullptr);
        SetEnvironmentVariableA("USERPROFILE", path.c_str());
    }
private:
    static void Save(const char* name, std::string& into)
    {
        char value[1024] = "";
        GetEnvironmentVariableA(name, value, sizeof value);
        into = value;
    }
    std::string tmp_, temp_, profile_;
};

// What HardenLibrarySearch hands SetDllDirectoryA, through a recorder that
// GetProcAddress gives out where the platform has the function.
std::vector<std::string> dllDirectories;
decltype(&GetProcAddress) realLookUp;
BOOL WINAPI RecordDllDirectory(LPCSTR path) { dllDirectories.push_back(path); return TRUE; }
FARPROC WINAPI LookUpRecorder(HMODULE module, LPCSTR name)
{
    FARPROC real = realLookUp(module, name);
    bool recorded = real && !IS_INTRESOURCE(name) && strcmp(name, "SetDllDirectoryA") == 0;
    return recorded ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(RecordDllDirectory)) : real;
}

} // namespace

// Runs once under each platform version the bench offers.
TEST(StartupAllPlatforms, IdentifiesThePlatformAndFillsTheDirectories)
{
    // SetDllDirectoryA, where it exists (XP SP1 on; the platform rules hide
    // it from 95 to NT 4), takes the current folder out of the search.
    struct Expected { const char* winver; int platform; DWORD major; std::vector<std::string> dllDirectories; };
    const Expected table[] = {
        {"win95", Platform9x, 4, {}}, {"win98", Platform9x, 4, {}}, {"nt40", PlatformNt, 4, {}},
        {"win2k", PlatformNt, 5, {""}}, {"winxp", PlatformNt, 5, {""}},
    };
    std::string winver = EnvOr("MARLUNE_WINVER", "winxp");
    const Expected* e = nullptr;
    for (const auto& row : table)
        if (winver == row.winver)
            e = &row;
    ASSERT_NE(e, nullptr) << winver;

    ASSERT_TRUE(RunStartup(GetModuleHandleA(nullptr), ""));
    EXPECT_EQ(Context.Platform, e->platform);
    EXPECT_EQ(Context.OsMajorVersion, e->major);
    EXPECT_EQ(Context.Instance, GetModuleHandleA(nullptr));
    EXPECT_TRUE(Context.RegisterDevices);
    for (const char* dir : {Context.WindowsDir, Context.SystemDir, Context.DriversDir, Context.InfDir,
                            Context.TempDir, Context.AppDir})
        EXPECT_TRUE(EndsWith(dir, "\\") && !EndsWith(dir, "\\\\")) << dir;
    EXPECT_EQ(std::string(Context.DriversDir), std::string(Context.SystemDir) + "Drivers\\");
    EXPECT_EQ(std::string(Context.InfDir), std::string(Context.WindowsDir) + "Inf\\");
    EXPECT_TRUE(EndsWith(Context.AppDir, "\\Brenmark\\")) << Context.AppDir;
    EXPECT_TRUE(DirectoryExists(Context.AppDir));
    EXPECT_TRUE(DirectoryExists(Context.TempDir));
    EXPECT_TRUE(RecordedMessages().empty());

    dllDirectories.clear();
    realLookUp = HOOK_IMPORT(GetProcAddress, LookUpRecorder);
    HardenLibrarySearch();
    EXPECT_EQ(dllDirectories, e->dllDirectories);
}

std::vector<HWND> broughtForward;
BOOL WINAPI RecordForeground(HWND window) { return broughtForward.push_back(window), TRUE; }
// The name held by a mutex of a user who is no administrator.
HANDLE WINAPI DenyMutex(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR) { return SetLastError(ERROR_ACCESS_DENIED), nullptr; }

// A second copy finds the first by its mutex, brings the wizard window that
// the first one shows (if any) to the front, and ends before it has read a
// directory or changed anything.
TEST(StartupAllPlatforms, ASecondCopyBringsTheFirstForwardAndChangesNothing)
{
    RunStartup(GetModuleHandleA(nullptr), "");
    const char* name = Context.Platform == PlatformNt && Context.OsMajorVersion >= 5 ? "Global\\MarluneDriverSetup"
                                                                                     : "MarluneDriverSetup";
    EndSingleRun();
    // The wizard's window, and above it one without the mark.
    HWND wizard = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    // A mutex that this account may not open is not a copy of this setup.
    for (auto [firstRuns, marked, denied] : {std::tuple{false, true, false}, {true, true, false}, {true, false, false},
                                             {false, true, true}}) {
        HANDLE first = firstRuns ? CreateMutexA(nullptr, FALSE, name) : nullptr;  // as its process holds it
        marked ? MarkSetupWindow(wizard) : UnmarkSetupWindow(wizard);
        CountDirectoryCalls();
        broughtForward.clear();
        HOOK_IMPORT(SetForegroundWindow, RecordForeground);
        if (denied)
            HOOK_IMPORT(CreateMutexA, DenyMutex);
        EXPECT_EQ(RunStartup(GetModuleHandleA(nullptr), ""), !firstRuns);
        RestoreImports();
        EndSingleRun();
        EXPECT_EQ(touches == 0, firstRuns);
        EXPECT_EQ(broughtForward, firstRuns && marked ? std::vector<HWND>{wizard} : std::vector<HWND>{});
        if (first)
            CloseHandle(first);
    }
    EXPECT_TRUE(RecordedMessages().empty());
    DestroyWindow(other);
    DestroyWindow(wizard);
}

TEST(Startup, OnlyTheExactSwitchTurnsDeviceRegistrationOff)
{
    const struct { const char* tail; BOOL registerDevices; } table[] = {
        {"NOW2K", FALSE}, {"now2k", TRUE}, {"Now2K", TRUE}, {"NOW2K ", TRUE}, {" NOW2K", TRUE},
        {"NOW2K /x", TRUE}, {"/NOW2K", TRUE}, {"NOW2", TRUE}, {"", TRUE},
    };
    for (const auto& row : table) {
        ResetInstallContext();
        ASSERT_TRUE(RunStartup(GetModuleHandleA(nullptr), row.tail));
        EXPECT_EQ(Context.RegisterDevices, row.registerDevices) << '"' << row.tail << '"';
    }
}

// GetModuleFileNameA answering with programPath.
std::string programPath;
DWORD WINAPI ReportProgramPath(HMODULE, LPSTR b, DWORD n) { lstrcpynA(b, programPath.c_str(), n); return programPath.size(); }

// The program's own path may stand unquoted, blanks and all, at the start of
// the command line, in the form the platform reports or the other one; any
// other first word ends at its first blank.
TEST(Startup, TheTailFollowsTheProgramsOwnPathQuotedOrNot)
{
    CreateDirectoryA("C:\\Setup Files", nullptr);
    CreateDirectoryA("C:\\Setup Files\\Marlune Driver", nullptr);
    const std::string path = "C:\\Setup Files\\Marlune Driver\\Setup.exe";
    CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    char s[MAX_PATH];
    ASSERT_TRUE(GetShortPathNameA(path.c_str(), s, MAX_PATH) && !strchr(s, ' '));
    HOOK_IMPORT(GetModuleFileNameA, ReportProgramPath);
    const struct { std::string reported, line; const char* tail; } table[] = {
        {path, path + " NOW2K", "NOW2K"}, {path, path, ""}, {path, path + "\t NOW2K ", "NOW2K "},
        {path, "c:\\SETUP FILES\\marlune driver\\SETUP.EXE NOW2K", "NOW2K"}, {s, path + " NOW2K", "NOW2K"},
        {path, s + std::string(" NOW2K"), "NOW2K"}, {path, '"' + path + "\" NOW2K", "NOW2K"},
        {path, path + "x NOW2K", "Files\\Marlune Driver\\Setup.exex NOW2K"},
    };
    for (const auto& row : table) {
        programPath = row.reported;
        EXPECT_STREQ(SkipProgramName(row.line.c_str()), row.tail) << row.reported << " | " << row.line;
    }
}

BOOL WINAPI FailVersion(LPOSVERSIONINFOA) { return FALSE; }

TEST(Startup, GetVersionExFailureEndsStartUp)
{
    CountDirectoryCalls();
    HOOK_IMPORT(GetVersionExA, FailVersion);
    EXPECT_FALSE(RunStartup(GetModuleHandleA(nullptr), ""));
    ExpectMessages({{"GetVersionEx Failed!", nullptr}});
    EXPECT_EQ(touches, 0);
}

BOOL WINAPI NotAllAssigned(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)
{
    SetLastError(ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

TEST(Startup, NtUserWithoutTheDriverPrivilegeIsRefusedBeforeAnyDirectory)
{
    CountDirectoryCalls();
    HOOK_IMPORT(AdjustTokenPrivileges, NotAllAssigned);
    EXPECT_FALSE(RunStartup(GetModuleHandleA(nullptr), ""));
    ExpectMessages({{"You must have Adminstrator privileges to run this program!\n\n"
                     "Please logon to Windows using an account with Adminstrator \n"
                     "privileges and run this program again.", nullptr}});
    EXPECT_EQ(touches, 0);
}

int adjustments;
decltype(&AdjustTokenPrivileges) realAdjust;
BOOL WINAPI CountAdjust(HANDLE t, BOOL d, PTOKEN_PRIVILEGES p, DWORD l, PTOKEN_PRIVILEGES o, PDWORD r)
{
    ++adjustments;
    return realAdjust(t, d, p, l, o, r);
}
BOOL WINAPI FailLookup(LPCSTR, LPCSTR, PLUID) { return FALSE; }

TEST(Startup, SetPrivilegeAdjustsOnlyWithALookedUpIdentifier)
{
    HANDLE token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    realAdjust = HOOK_IMPORT(AdjustTokenPrivileges, CountAdjust);
    adjustments = 0;
    EXPECT_TRUE(SetPrivilege(token, "SeLoadDriverPrivilege", TRUE));
    EXPECT_EQ(adjustments, 1);
    HOOK_IMPORT(LookupPrivilegeValueA, FailLookup);
    EXPECT_FALSE(SetPrivilege(token, "SeLoadDriverPrivilege", TRUE));
    EXPECT_EQ(adjustments, 1);
    CloseHandle(token);
}

BOOL WINAPI DenyCreate(LPCSTR, LPSECURITY_ATTRIBUTES) { SetLastError(ERROR_ACCESS_DENIED); return FALSE; }

TEST(Startup, TemporaryDirectoryAcceptedWhenPresentOrRefusedAccessOtherwiseTold)
{
    TempVariables restore;
    char existing[MAX_PATH];
    GetTempPathA(sizeof existing, existing);
    EXPECT_TRUE(RunStartup(GetModuleHandleA(nullptr), ""));  // exists already
    EXPECT_TRUE(RecordedMessages().empty());

    ResetInstallContext();
    TempVariables::Set("C:\\marlune-denied\\tmp");
    HOOK_IMPORT(CreateDirectoryA, DenyCreate);
    EXPECT_TRUE(RunStartup(GetModuleHandleA(nullptr), ""));
    EXPECT_STREQ(Context.TempDir, "C:\\marlune-denied\\tmp\\");
    EXPECT_TRUE(RecordedMessages().empty());
    RestoreImports();
    InstallMessageRecorder();

    ResetInstallContext();
    TempVariables::Set("C:\\marlune-no-such-parent\\tmp");
    EXPECT_FALSE(RunStartup(GetModuleHandleA(nullptr), ""));
    ExpectMessages({{"Could not create the temporary directory!", "C:\\marlune-no-such-parent\\tmp\\"}});
    EXPECT_FALSE(DirectoryExists("C:\\marlune-no-such-parent"));
}

TEST(Startup, ApplicationDirectoryFromProgramFilesDirOrTheWindowsDrive)
{
    SavedValue restore{HKEY_LOCAL_MACHINE, ProgramFilesKey, "ProgramFilesDir"};
    SetProgramFilesDir("C:\\Marlune Apps");
    CreateDirectoryA("C:\\Marlune Apps", nullptr);
    ASSERT_TRUE(RunStartup(GetModuleHandleA(nullptr), ""));
    EXPECT_STREQ(Context.AppDir, "C:\\Marlune Apps\\Brenmark\\");
    EXPECT_TRUE(DirectoryExists("C:\\Marlune Apps\\Brenmark"));

    ResetInstallContext();
    SetProgramFilesDir(nullptr);
    ASSERT_TRUE(RunStartup(GetModuleHandleA(nullptr), ""));
    EXPECT_EQ(std::string(Context.AppDir), std::string(1, Context.WindowsDir[0]) + ":\\Program Files\\Brenmark\\");
    EXPECT_TRUE(RecordedMessages().empty());
}

// A directory that would not fit its 260-byte field is refused by name before
// anything is created. A value too large to be read at all falls back to the
// Windows drive's "Program Files".
TEST(Startup, OverLongDirectoriesAreRefusedBeforeAnythingIsCreated)
{
    SavedValue restore{HKEY_LOCAL_MACHINE, ProgramFilesKey, "ProgramFilesDir"};
    TempVariables restoreTemp;
    const std::string longPath = "C:\\" + std::string(300, 'l');
    enum Source { None, WindowsDir, SystemDir, TempPath, Profile };
    struct { std::string programFiles; std::string temp; bool ok; size_t appDirLength; Source source = None; } table[] = {
        {"C:\\" + std::string(259 - 3 - 10, 'p'), "", true, 259},  // exactly fills AppDir
        {"C:\\" + std::string(259 - 3 - 9, 'p'), "", false, 0},
        {"C:\\" + std::string(256 - 3, 'p'), "", false, 0},         // readable, too long with "\\Brenmark"
        {"C:\\" + std::string(400, 'p'), "", true, strlen("C:\\Program Files\\Brenmark\\")},
        {"", "C:\\" + std::string(300, 't'), false, 0},
        {"", "", false, 0, WindowsDir},
        {"", "", false, 0, SystemDir},
        {"", "", false, 0, TempPath},  // Windows gives it to a larger buffer
        {"", "", false, 0, Profile},   // Wine gives it to none
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << row.programFiles.size() + row.temp.size() << " " << row.source);
        ResetInstallContext();
        InstallMessageRecorder();
        SetProgramFilesDir(row.programFiles.empty() ? nullptr : row.programFiles.c_str());
        if (!row.temp.empty())
            TempVariables::Set(row.temp);
        if (row.source == Profile)
            TempVariables::SetProfile(longPath);
        fakeWindows = row.source == WindowsDir ? longPath : "";
        fakeSystem = row.source == SystemDir ? longPath : "";
        fakeTemp = row.source == TempPath ? longPath : "";
        CountDirectoryCalls();
        EXPECT_EQ(!!RunStartup(GetModuleHandleA(nullptr), ""), row.ok);
        if (row.ok) {
            EXPECT_EQ(strlen(Context.AppDir), row.appDirLength);
            EXPECT_TRUE(RecordedMessages().empty());
        } else {
            auto messages = RecordedMessages();
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_NE(messages[0].text.find("too long"), std::string::npos) << messages[0].text;
            const std::string& named = row.source != None ? longPath : !row.temp.empty() ? row.temp : row.programFiles;
            EXPECT_NE(messages[0].text.find("\n\n" + named.substr(0, 250)), std::string::npos) << messages[0].text;
            EXPECT_EQ(messages[0].style, static_cast<UINT>(MB_OK | MB_ICONWARNING));
            EXPECT_EQ(creates, 0);
        }
        RestoreImports();
    }
    fakeWindows = fakeSystem = fakeTemp = "";
}

// Each path given (the even entries) with the backslash added as expected.
void ExpectTrailingBackslashes(std::initializer_list<const char*> inAndOut)
{
    for (auto row = inAndOut.begin(); row != inAndOut.end(); row += 2) {
        char path[MAX_PATH];
        strcpy(path, row[0]);
        AddTrailingBackslash(path);
        EXPECT_STREQ(path, row[1]) << row[0];
    }
}

TEST(AddTrailingBackslash, AddsExactlyOneWhereMissing)
{
    ExpectTrailingBackslashes({"", "\\", "C:\\", "C:\\", "C:", "C:\\", "C:\\WINDOWS", "C:\\WINDOWS\\",
                               "C:\\WINDOWS\\", "C:\\WINDOWS\\", "\\\\server\\share", "\\\\server\\share\\"});
}

// Run with the ANSI code page 932 (LC_ALL=ja_JP.UTF-8): a double-byte
// character whose second byte is 0x5C is not a backslash.
TEST(AddTrailingBackslashCodePage932, DoubleByteTrailByteIsNotABackslash)
{
    ASSERT_EQ(GetACP(), 932u);
    ExpectTrailingBackslashes({"C:\\\x83\x5C", "C:\\\x83\x5C\\",  // katakana SO: trail byte 0x5C
                               "C:\\\x83\x5C\\", "C:\\\x83\x5C\\",
                               "C:\\\x95\x5C\x8E\xA6", "C:\\\x95\x5C\x8E\xA6\\", "\x83\x5C", "\x83\x5C\\"});
}

// A double-byte character whose second byte is a letter is not the one whose
// second byte is that letter in the other case.
TEST(SkipProgramNameCodePage932, DoubleByteCharactersKeepTheirCase)
{
    ASSERT_EQ(GetACP(), 932u);
    programPath = "C:\\Setup Files\\\x83\x41.exe";  // second byte 'A'
    HOOK_IMPORT(GetModuleFileNameA, ReportProgramPath);
    EXPECT_STREQ(SkipProgramName("C:\\Setup Files\\\x83\x41.exe NOW2K"), "NOW2K");
    EXPECT_STREQ(SkipProgramName("C:\\Setup Files\\\x83\x61.exe NOW2K"), "Files\\\x83\x61.exe NOW2K");
}

// Text is formatted by the platform's formatter into a scratch buffer and
// copied only as far as the destination holds: every format the product
// uses, a refusal that writes nothing past the destination, and the
// formatter's own limit of 1,024 bytes.
TEST(FormatText, ProductFormatsRefusalsAndTheFormatterLimit)
{
    char text[64];
    EXPECT_TRUE(FormatText(text, sizeof text, "%s|%d|%ld|%lu|%u|%04ld|%08lx|%08lX|%c|%.3s|%04lu", "path", -5,
                           -70000L, 4000000000UL, 7u, 42L, 0xBEEFUL, 0xBEEFUL, 'C', "xyzzy", 12UL));
    EXPECT_STREQ(text, "path|-5|-70000|4000000000|7|0042|0000beef|0000BEEF|C|xyz|0012");

    struct Case { int size; int length; bool fits; };
    const Case cases[] = {
        {4, 3, true}, {3, 3, false}, {1, 0, true}, {1, 1, false},
        {2000, 1022, true},   // the longest text the formatter surely gives whole
        {2000, 1023, false},  // may have been cut by the formatter itself
        {2000, 3000, false}, {260, 300, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " characters into " << c.size << " bytes");
        std::string source(c.length, 'a');
        std::string area(c.size + 64, '#');
        EXPECT_EQ(FormatText(area.data(), c.size, "%s", source.c_str()), c.fits);
        int kept = lstrlenA(area.c_str());
        EXPECT_LT(kept, c.size);
        EXPECT_EQ(kept, c.fits ? c.length : std::min(c.size - 1, FormatterLimit - 1));
        EXPECT_EQ(area.substr(c.size), std::string(64, '#'));  // nothing written past it
    }
}

// The case-insensitive comparison folds ASCII letters only, as the C locale does.
TEST(FormatText, ComparisonsAreByteWiseAndFoldOnlyAsciiLetters)
{
    EXPECT_EQ(CompareTextNoCase("PCI\\VEN_10B5&extra", "pci\\ven_10b5", 12), 0);
    EXPECT_NE(CompareTextNoCase("Vesk.Dl", "Vesk.Dll", 8), 0);
    EXPECT_NE(CompareTextNoCase("[", "{", 1), 0);
    EXPECT_NE(CompareTextNoCase("\xC9", "\xE9", 1), 0);  // accented letters keep their case
    EXPECT_TRUE(TextEquals("NOW2K", "NOW2K"));
    EXPECT_FALSE(TextEquals("NOW2K", "now2k"));
    EXPECT_FALSE(TextEquals("NOW2K", "NOW2K "));
    EXPECT_TRUE(TextStartsWith("Marlune Mixer - 1", "Marlune Mixer"));
    EXPECT_FALSE(TextStartsWith("Marlune", "Marlune Mixer"));
}
