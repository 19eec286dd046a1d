// Shortcut writers and Start-menu entries against Wine's shell link object.
// Import hooks count the link objects handed out (each must end with every
// reference given back) and record each shortcut path as it is written.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>
#include "base/registry.h"
#include "base/install_context.h"
#include "shell/shortcuts.h"
#include "tests/support/files.h"
#include "tests/support/import_hook.h"
#include "tests/support/raw_registry.h"

namespace {

const std::string Scratch = "C:\\MarluneShellTest";
const char ShellFolders[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char WebSite[] = "http://www.brenmark.com/";

// The helpers use the wide calls, which take paths past MAX_PATH, so that
// they can see what an over-long path would have produced.
std::wstring Wide(const std::string& path) { return {path.begin(), path.end()}; }
bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }
void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
std::string UrlBytes(const std::string& address) { return "[InternetShortcut]\r\n\rURL=" + address + "\r\n\r"; }

void MakeFolders(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryW(Wide(path.substr(0, i)).c_str(), nullptr);
}

// The sorted names in a folder (a file under a cut-off name would show
// here); with `remove` the folder's whole content is deleted as well.
std::vector<std::string> ListFolder(const std::string& folder, bool remove = false)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Wide(folder + "\\*").c_str(), &data);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) {
        std::string name(data.cFileName, data.cFileName + wcslen(data.cFileName));
        if (name == "." || name == "..")
            continue;
        names.push_back(name);
        if (remove && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ListFolder(folder + "\\" + name, true);
            RemoveDirectoryW(Wide(folder + "\\" + name).c_str());
        } else if (remove) {
            DeleteFileW(Wide(folder + "\\" + name).c_str());
        }
    }
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// A folder below Scratch whose path has exactly `length` characters.
std::string PathOfLength(size_t length)
{
    std::string path = Scratch;
    while (path.size() < length) {
        size_t room = length - path.size() - 1, part = std::min<size_t>(room, 120);
        path += "\\" + std::string(room - part == 1 ? part - 1 : part, 'p');
    }
    return path;
}

// Every link object handed out is held with two extra references: after the
// code under test, giving back the first must leave exactly one.
decltype(&CoCreateInstance) realCoCreate;
std::vector<IUnknown*> linkObjects;
HRESULT refuseCreate;
HRESULT WINAPI CountingCoCreate(REFCLSID cls, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out)
{
    if (FAILED(refuseCreate))
        return refuseCreate;
    HRESULT result = realCoCreate(cls, outer, context, iid, out);
    if (SUCCEEDED(result)) {
        static_cast<IUnknown*>(*out)->AddRef();
        static_cast<IUnknown*>(*out)->AddRef();
        linkObjects.push_back(static_cast<IUnknown*>(*out));
    }
    return result;
}
bool ReleasedEverything(IUnknown* object)
{
    ULONG left = object->Release();
    if (left == 0)
        return false;  // over-released: already gone
    object->Release();
    return left == 1;
}
void ExpectEveryLinkObjectReleased(size_t count)
{
    EXPECT_EQ(linkObjects.size(), count);
    for (IUnknown* object : linkObjects)
        EXPECT_TRUE(ReleasedEverything(object));
    linkObjects.clear();
}

// Link paths handed to the link object and Internet shortcuts opened, in
// order: each entry is written beside its name ("...$") and put in place.
std::string Staged(std::string path) { path.back() = '$'; return path; }
decltype(&MultiByteToWideChar) realToWide;
decltype(&CreateFileA) realCreateFile;
std::vector<std::string> writtenPaths;
bool refuseConversion;
int WINAPI RecordingToWide(UINT page, DWORD flags, LPCCH text, int count, LPWSTR wide, int wideCount)
{
    writtenPaths.push_back(text);
    if (refuseConversion) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return realToWide(page, flags, text, count, wide, wideCount);
}
HANDLE WINAPI RecordingCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE model)
{
    if (disposition == CREATE_ALWAYS)
        writtenPaths.push_back(path);
    return realCreateFile(path, access, share, security, disposition, flags, model);
}

// A shell link loaded by a fresh link object: "target|arguments|description".
std::string ReadLink(const std::string& path)
{
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    realCoCreate(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(&link));
    link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    char target[1024] = "", arguments[1024] = "", description[1024] = "";
    HRESULT loaded = file->Load(Wide(path).c_str(), STGM_READ);
    link->GetPath(target, sizeof target, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, sizeof arguments);
    link->GetDescription(description, sizeof description);
    file->Release();
    link->Release();
    return FAILED(loaded) ? "<not loaded>" : std::string(target) + "|" + arguments + "|" + description;
}

void SetShellFolder(HKEY root, const char* name, const char* text)
{
    if (text)
        RegWriteString(root, ShellFolders, name, text);
    else
        RegRemoveValue(root, ShellFolders, name);
}

// Every test: COM on this thread, an empty scratch folder, the prefix's two
// Programs values saved and put back, and the hooks in place.
class Shell : public testing::Test {
protected:
    SavedValue saved[2] = {{HKEY_LOCAL_MACHINE, ShellFolders, "Common Programs"},
                           {HKEY_CURRENT_USER, ShellFolders, "Programs"}};

    void SetUp() override
    {
        CoInitialize(nullptr);
        ListFolder(Scratch, true);
        MakeFolders(Scratch);
        linkObjects.clear();
        writtenPaths.clear();
        refuseCreate = S_OK;
        refuseConversion = false;
        realCoCreate = HOOK_IMPORT(CoCreateInstance, CountingCoCreate);
        realToWide = HOOK_IMPORT(MultiByteToWideChar, RecordingToWide);
        realCreateFile = HOOK_IMPORT(CreateFileA, RecordingCreateFile);
    }
    void TearDown() override
    {
        for (IUnknown* object : linkObjects)
            ReleasedEverything(object);
        ListFolder(Scratch, true);
        RemoveDirectoryW(Wide(Scratch).c_str());
        CoUninitialize();
    }
};
class ShellShortcut : public Shell {};
class StartMenu : public Shell {};
class StartMenuNt40 : public Shell {};
class StartMenuWin98 : public Shell {};

// The entries in the order in which they are made; the first one goes to
// the Startup folder, the others to "Brenmark". `rest` is what the link
// reads back after its target: "|arguments|description".
struct Entry {
    const char* name;
    const char* target;  // in AppDir; in WindowsDir when `inWindows`; null for the web site
    bool inWindows;
    const char* rest;
};
const Entry Entries[] = {
    {"Marlune TaskBar Icon.lnk", "Mixer.exe", false, "|TASKBAR|"},
    {"Marlune Mixer.lnk", "Mixer.exe", false, "||Software control of the Marlune settings"},
    {"Brenmark Web Site.url", nullptr, false, nullptr},
    {"Online Registration Wizard.lnk", "Register.exe", false,
     "||Register your Marlune (requires an internet connection)"},
    {"Marlune Release Notes.lnk", "MarluneReleaseNotes.txt", false, "||Revision History for the Marlune Driver"},
    {"Uninstall Marlune.lnk", "RmVesk.exe", true, "||Remove the Marlune Driver and Mixer application"},
};
std::string EntryPath(const std::string& programs, int index)
{
    return programs + (index == 0 ? "\\Startup\\" : "\\Brenmark\\") + Entries[index].name;
}

// Exactly the entries numbered (1 to 6) in `which` exist below `programs`;
// with `readBack` each is also loaded and compared.
void ExpectEntries(const std::string& programs, const std::string& which, bool readBack = false)
{
    std::vector<std::string> startup, group;
    for (char number : which) {
        const Entry& entry = Entries[number - '1'];
        (number == '1' ? startup : group).push_back(entry.name);
        std::string path = EntryPath(programs, number - '1');
        if (readBack && !entry.target)
            EXPECT_EQ(ReadAll(path), UrlBytes(WebSite));
        else if (readBack)
            EXPECT_EQ(ReadLink(path), (entry.inWindows ? Context.WindowsDir : Context.AppDir)
                                          + std::string(entry.target) + entry.rest);
    }
    std::sort(group.begin(), group.end());
    EXPECT_EQ(ListFolder(programs + "\\Startup"), startup);
    EXPECT_EQ(ListFolder(programs + "\\Brenmark"), group);
}

void SetDirectories(int platform, const std::string& windowsDir, const std::string& appDir)
{
    Context.Platform = platform;
    lstrcpynA(Context.WindowsDir, windowsDir.c_str(), MAX_PATH);
    lstrcpynA(Context.AppDir, appDir.c_str(), MAX_PATH);
}

struct FolderCase {
    const char* name;
    int platform;
    const char* value;  // the Programs value; null when missing
    std::string programs;  // the Programs folder expected
    bool warned;  // "RegGetString Failed!" once
};

// From an empty scratch folder with the expected Programs folder (and its
// Startup folder) in place, all six entries land below it.
void RunFolderCases(const std::vector<FolderCase>& cases)
{
    for (const FolderCase& c : cases) {
        SCOPED_TRACE(c.name);
        ListFolder(Scratch, true);
        MakeFolders(c.programs + "\\Startup");
        SetDirectories(c.platform, Scratch + "\\Windows\\", Scratch + "\\App\\");
        SetShellFolder(c.platform == PlatformNt ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                       c.platform == PlatformNt ? "Common Programs" : "Programs", c.value);
        ClearRecordedMessages();
        DWORD code = 0xDEADBEEF;
        char folder[MAX_PATH] = "untouched";
        EXPECT_TRUE(CreateStartMenuEntries(&code, folder));
        EXPECT_EQ(code, 0xDEADBEEFu);
        EXPECT_STREQ(folder, "untouched");
        ExpectEntries(c.programs, "123456");
        ExpectEveryLinkObjectReleased(5);
        if (c.warned)
            ExpectMessages({{"RegGetString Failed!", nullptr}});
        else
            ExpectMessages({});
    }
}

} // namespace

// Each failure returns its own result, writes no file and leaves no
// reference behind; 259 characters is the longest link path accepted.
TEST_F(ShellShortcut, FailuresReturnTheirResultAndReleaseEveryInterface)
{
    const std::string folder = PathOfLength(MAX_PATH - 1 - 6);  // room for "\a.lnk"
    MakeFolders(folder);
    const struct {
        std::string link;
        HRESULT refuseCreate;
        bool refuseConversion;
        HRESULT expected;
        size_t objects;
    } cases[] = {
        {Scratch + "\\Missing\\x.lnk", S_OK, false, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), 1},
        {folder + "\\a.lnk", S_OK, false, S_OK, 1},
        {folder + "\\ab.lnk", S_OK, false, HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), 0},
        {Scratch + "\\c.lnk", REGDB_E_CLASSNOTREG, false, REGDB_E_CLASSNOTREG, 0},
        {Scratch + "\\d.lnk", S_OK, true, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link.substr(c.link.size() - 6));
        refuseCreate = c.refuseCreate;
        refuseConversion = c.refuseConversion;
        EXPECT_EQ(CreateShortcut("C:\\Mixer.exe", c.link.c_str(), "TASKBAR", "Mixer"), c.expected);
        EXPECT_EQ(Exists(c.link), c.expected == S_OK);
        ExpectEveryLinkObjectReleased(c.objects);
    }
}

TEST_F(ShellShortcut, InternetShortcutIsByteExactAndReplacesAnOldFile)
{
    const std::string path = Scratch + "\\Site.url";
    // Longest first, so that each later write has to shrink the file.
    for (const std::string address : {std::string(200, 'w'), std::string(WebSite), std::string()}) {
        CreateInternetShortcut(path.c_str(), address.c_str());
        std::string bytes = ReadAll(path);
        EXPECT_EQ(bytes.size(), address.size() + 28);
        EXPECT_EQ(bytes, UrlBytes(address));
    }
    CreateInternetShortcut((Scratch + "\\Missing\\Site.url").c_str(), WebSite);
    EXPECT_FALSE(Exists(Scratch + "\\Missing"));
}

TEST_F(StartMenuNt40, ProgramsFolderFromCommonProgramsOrASilentFallback)
{
    const std::string fallback = Scratch + "\\Windows\\Profiles\\All Users\\Start Menu\\Programs";
    RunFolderCases({
        {"Common Programs", PlatformNt, "C:\\MarluneShellTest\\All\\Programs", Scratch + "\\All\\Programs", false},
        {"no value", PlatformNt, nullptr, fallback, false},
        {"empty value", PlatformNt, "", fallback, false},
    });
}

TEST_F(StartMenuWin98, ProgramsFolderFromProgramsOrAWarnedFallback)
{
    RunFolderCases({
        {"Programs", Platform9x, "C:\\MarluneShellTest\\User\\Programs", Scratch + "\\User\\Programs", false},
        {"no value", Platform9x, nullptr, Scratch + "\\Windows\\Start Menu\\Programs", true},
    });
}

// The whole layout in order, read back; a second run over spoilt entries
// finds the folder and rewrites every entry.
TEST_F(StartMenu, AllEntriesInOrderAndASecondRunRewritesThem)
{
    const std::string programs = Scratch + "\\All Users\\Programs";
    MakeFolders(programs + "\\Startup");
    SetDirectories(PlatformNt, Scratch + "\\Windows\\", Scratch + "\\App\\");
    SetShellFolder(HKEY_LOCAL_MACHINE, "Common Programs", programs.c_str());
    std::vector<std::string> order, staged;
    for (int i = 0; i < 6; ++i) {
        order.push_back(EntryPath(programs, i));
        staged.push_back(Staged(order.back()));
    }

    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        DWORD code = 0;
        char folder[MAX_PATH] = "";
        writtenPaths.clear();
        EXPECT_TRUE(CreateStartMenuEntries(&code, folder));
        EXPECT_EQ(writtenPaths, staged);
        ExpectEveryLinkObjectReleased(5);
        ExpectEntries(programs, "123456", true);
        EXPECT_TRUE(RecordedMessages().empty());
        for (const std::string& path : order)
            WriteBytes(path, "stale");
    }
}

TEST_F(StartMenu, MissingProgramsFolderFailsWithPathNotFoundAfterTheStartupAttempt)
{
    const std::string programs = Scratch + "\\Nowhere\\Programs";
    SetDirectories(PlatformNt, Scratch + "\\Windows\\", Scratch + "\\App\\");
    SetShellFolder(HKEY_LOCAL_MACHINE, "Common Programs", programs.c_str());
    DWORD code = 0;
    char folder[MAX_PATH] = "";
    EXPECT_FALSE(CreateStartMenuEntries(&code, folder));
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(folder, programs + "\\Brenmark");
    EXPECT_EQ(writtenPaths, std::vector<std::string>{Staged(EntryPath(programs, 0))});
    ExpectEveryLinkObjectReleased(1);
    EXPECT_FALSE(Exists(Scratch + "\\Nowhere"));
    EXPECT_TRUE(RecordedMessages().empty());
}

// An entry whose link or target path would not fit is left out; a folder
// path that would not fit fails with ERROR_FILENAME_EXCED_RANGE and is given
// back cut to the buffer; nothing is written past a buffer or under a
// cut-off name.
TEST_F(StartMenu, OverLongPathsAreRefusedNeverCut)
{
    const struct {
        const char* name;
        size_t programsLength;  // 0: no value, the fallback below WindowsDir
        size_t windowsLength, appLength;  // without the final backslash
        bool result;
        const char* entries;  // the entries made
    } cases[] = {
        {"start-up link just fits", 226, 30, 30, true, "1236"},
        {"start-up link too long", 227, 30, 30, true, "236"},
        {"folder just fits, no entry does", 250, 30, 30, true, ""},
        {"folder too long", 251, 30, 30, false, ""},
        {"fallback folder too long", 0, 221, 30, false, ""},
        {"release notes link and target just fit", 224, 30, 235, true, "12356"},
        {"release notes target too long", 224, 30, 236, true, "1236"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ListFolder(Scratch, true);
        std::string windowsDir = PathOfLength(c.windowsLength) + "\\";
        std::string programs = c.programsLength ? PathOfLength(c.programsLength)
                                                : windowsDir + "Profiles\\All Users\\Start Menu\\Programs";
        MakeFolders(programs + "\\Startup");
        SetDirectories(PlatformNt, windowsDir, PathOfLength(c.appLength) + "\\");
        SetShellFolder(HKEY_LOCAL_MACHINE, "Common Programs", c.programsLength ? programs.c_str() : nullptr);
        writtenPaths.clear();

        DWORD code = 0;
        char folder[MAX_PATH + 32];
        memset(folder, '#', sizeof folder);
        EXPECT_EQ(CreateStartMenuEntries(&code, folder), c.result);
        EXPECT_EQ(std::string(folder + MAX_PATH, 32), std::string(32, '#'));
        if (!c.result) {
            EXPECT_EQ(code, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
            EXPECT_EQ(folder, (programs + "\\Brenmark").substr(0, MAX_PATH - 1));
        }
        ExpectEntries(programs, c.entries);
        const std::vector<std::string> made = {"Brenmark", "Startup"}, refused = {"Startup"};
        EXPECT_EQ(ListFolder(programs), c.result ? made : refused);
        EXPECT_EQ(writtenPaths.size(), strlen(c.entries));
        ExpectEveryLinkObjectReleased(strlen(c.entries) - (strchr(c.entries, '3') ? 1 : 0));
        EXPECT_TRUE(RecordedMessages().empty());
    }
}
