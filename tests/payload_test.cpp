// The carried files, their catalogue and their extraction under Wine: the
// embedded containers through Wine's LZ library, the destinations per
// platform, every failure by import hooks, and whole runs of CopyFiles into a
// scratch tree on each platform version.
#include <gtest/gtest.h>
#include <windows.h>
#include <lzexpand.h>
#include <mmsystem.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "payload/payload.h"
#include "base/install_context.h"
#include "setup/startup.h"
#include "tests/support/files.h"
#include "tests/support/import_hook.h"
#include "wizard/progress.h"

namespace fs = std::filesystem;
namespace {

// The carried files (the release's, when the build carries a release folder)
// and the stand-ins, whose own behaviour is tested below.
const std::string PayloadDir = MARLUNE_PAYLOAD_DIR, EdgeDir = MARLUNE_PAYLOAD_EDGE_DIR,
                  StandInDir = MARLUNE_STANDIN_DIR;
constexpr const char* Carried[][2] = {
    {"MARLUNERELEASENOTES.TXT", "MarluneReleaseNotes.txt"}, {"MIXER.EXE", "Mixer.exe"},
    {"REGISTER.EXE", "Register.exe"}, {"RMVESK.EXE", "RmVesk.exe"}, {"VESK.DLL", "Vesk.Dll"},
    {"VESK.DRV", "Vesk.Drv"}, {"VESK.INF", "Vesk.Inf"}, {"VESK.SYS", "Vesk.Sys"}, {"VESK.VXD", "Vesk.VxD"},
    {"VESKASIO.DLL", "VeskASIO.Dll"}};

// The carried file of a resource name or an installed file name, also when
// it waits for the restart under its name ending in "$".
std::string CarriedBytes(const std::string& name)
{
    for (auto [resource, file] : Carried)
        if (lstrcmpiA(resource, name.c_str()) == 0 || lstrcmpiA(file, name.c_str()) == 0
            || (name.ends_with("$") && std::string(file).starts_with(name.substr(0, name.size() - 1))))
            return ReadAll(PayloadDir + file);
    return "<not carried: " + name + ">";
}

std::string LzExpand(std::string from, std::string to)
{
    OFSTRUCT a, b;
    INT source = LZOpenFileA(from.data(), &a, OF_READ), target = LZOpenFileA(to.data(), &b, OF_CREATE);
    LONG copied = LZCopy(source, target);
    LZClose(source);
    LZClose(target);
    return copied < 0 ? "<LZ error " + std::to_string(copied) + ">" : ReadAll(to);
}

// %T, %S and %D stand for the temporary, system and drivers directories.
std::string Expand(std::string text)
{
    for (auto [mark, dir] : {std::pair{"%T", Context.TempDir}, {"%S", Context.SystemDir}, {"%D", Context.DriversDir}})
        for (size_t at; (at = text.find(mark)) != std::string::npos;)
            text.replace(at, 2, dir);
    return text;
}

// The install context's six directories in a scratch tree, and a hidden
// window with the progress window's two labels as the progress window; both
// go at the end.
struct Scratch {
    std::string root;
    HWND labels;
    explicit Scratch(const std::string& name) : root("C:\\mlp-" + name + "\\")
    {
        fs::remove_all(root);
        const std::pair<char*, const char*> dirs[] = {
            {Context.WindowsDir, "Windows\\"}, {Context.SystemDir, "Windows\\System\\"},
            {Context.DriversDir, "Windows\\System\\Drivers\\"}, {Context.InfDir, "Windows\\Inf\\"},
            {Context.TempDir, "Temp\\"}, {Context.AppDir, "App\\"}};
        for (auto [field, sub] : dirs) {
            lstrcpyA(field, (root + sub).c_str());
            fs::create_directories(field);
        }
        labels = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
        for (INT_PTR id : {CounterLabelId, FileLabelId})
            CreateWindowExA(0, "STATIC", "untouched", WS_CHILD, 0, 0, 9, 9, labels, HMENU(id), nullptr, nullptr);
        Context.ProgressWindow.store(labels);
        Context.Instance = GetModuleHandleA(nullptr);
    }
    ~Scratch()
    {
        DestroyWindow(labels);
        fs::remove_all(root);
    }
    std::set<std::string> Files() const
    {
        std::set<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (entry.is_regular_file())
                files.insert(entry.path().string().substr(root.size()));
        return files;
    }
    std::string Label(int id) const
    {
        char text[MAX_PATH] = "";
        GetDlgItemTextA(labels, id, text, sizeof text);
        return text;
    }
};

// Each file's three times are the release stamp, 01:20:00.024 local time, in
// the time zones the tests are run in (in others only their equality is
// checked); then its bytes are the carried file's. Times come first: reading
// a file may move its access time.
void ExpectInstalledAsCarried(const std::string& root, const std::set<std::string>& files)
{
    char tz[32] = "";
    GetEnvironmentVariableA("TZ", tz, sizeof tz);
    int hour = std::string(tz) == "UTC" ? 1 : std::string(tz) == "Etc/GMT-1" ? 0 : -1;
    SYSTEMTIME utc = {2004, 5, 0, 24, WORD(hour), 20, 0, 24};
    FILETIME stamp;
    SystemTimeToFileTime(&utc, &stamp);
    for (const std::string& file : files) {
        HANDLE h = CreateFileA((root + file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        FILETIME times[3] = {};
        GetFileTime(h, &times[0], &times[1], &times[2]);
        CloseHandle(h);
        for (const FILETIME& t : times)
            EXPECT_EQ(CompareFileTime(&t, hour < 0 ? &times[2] : &stamp), 0) << file << " TZ=" << tz;
    }
    for (const std::string& file : files)
        EXPECT_TRUE(ReadAll(root + file) == CarriedBytes(fs::path(file).filename().string())) << file;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names)
{
    reinterpret_cast<std::vector<std::string>*>(names)->push_back(name);
    return TRUE;
}

} // namespace

TEST(PayloadContainers, EveryContainerExpandsThroughWinesLzLibrary)
{
    Scratch scratch("lz");
    std::vector<std::string> names, catalogue;
    EnumResourceNamesA(nullptr, RT_RCDATA, CollectName, reinterpret_cast<LONG_PTR>(&names));
    for (auto [resource, file] : Carried)
        catalogue.push_back(resource);
    EXPECT_EQ(names, catalogue);
    for (auto [resource, file] : Carried) {
        HRSRC found = FindResourceExA(nullptr, RT_RCDATA, resource, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        ASSERT_NE(found, nullptr) << resource;
        std::string container(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                              SizeofResource(nullptr, found));
        std::string carried = CarriedBytes(resource);
        // Wine's decoder runs on past the header's size, so the header is checked here.
        EXPECT_EQ(container.substr(0, 10), std::string("SZDD\x88\xf0\x27\x33\x41\0", 10)) << resource;
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(container.data() + 10), carried.size()) << resource;
        std::ofstream(scratch.root + "in", std::ios::binary) << container;
        EXPECT_TRUE(LzExpand(scratch.root + "in", scratch.root + "out") == carried) << resource;
    }
    for (const char* edge : {"empty", "one-byte", "spaces", "pairs", "ring-wrap"})
        EXPECT_TRUE(LzExpand(EdgeDir + edge + ".szdd", scratch.root + "out") == ReadAll(EdgeDir + edge)) << edge;
}

TEST(PayloadCatalogue, DestinationsPerPlatformAndUpgrade)
{
    for (auto [field, dir] : {std::pair{Context.WindowsDir, "W\\"}, {Context.SystemDir, "S\\"},
                              {Context.DriversDir, "D\\"}, {Context.InfDir, "I\\"}, {Context.AppDir, "A\\"}})
        lstrcpyA(field, dir);
    const struct { const char *name, *nt4, *nt5, *win9x; bool deferrable; } rows[] = {
        {"VESK.DLL", "S\\Vesk.Dll", "S\\Vesk.Dll", "", true},
        {"VESK.SYS", "D\\Vesk.Sys", "D\\Vesk.Sys", "", false},
        {"VESK.INF", "", "I\\Vesk.Inf", "I\\Vesk.Inf", false},
        {"VESK.DRV", "", "", "S\\Vesk.Drv", true},
        {"VESK.VXD", "", "", "S\\Vesk.VxD", true},
        {"VESKASIO.DLL", "", "", "S\\VeskASIO.Dll", false},
        {"RMVESK.EXE", "W\\RmVesk.exe", "W\\RmVesk.exe", "W\\RmVesk.exe", false},
        {"MIXER.EXE", "A\\Mixer.exe", "A\\Mixer.exe", "A\\Mixer.exe", false},
        {"REGISTER.EXE", "A\\Register.exe", "A\\Register.exe", "A\\Register.exe", false},
        {"MARLUNERELEASENOTES.TXT", "A\\MarluneReleaseNotes.txt", "A\\MarluneReleaseNotes.txt",
         "A\\MarluneReleaseNotes.txt", false},
        {"vesk.dll", "", "", "", false}, {"Mixer.exe", "", "", "", false}, {"VESK.DL", "", "", "", false},
        {"VESK.DLL ", "", "", "", false}, {"", "", "", "", false},
    };
    for (const auto& row : rows)
        for (auto [platform, major] :
             {std::pair{PlatformNt, 4u}, {PlatformNt, 5u}, {PlatformNt, 6u}, {Platform9x, 4u}})
            for (BOOL upgrade : {FALSE, TRUE}) {
                Context.Platform = platform, Context.OsMajorVersion = major, Context.Upgrade = upgrade;
                const char* expected = platform == Platform9x ? row.win9x : major > 4 ? row.nt5 : row.nt4;
                char destination[MAX_PATH] = "stale";
                BOOL deferred = 7;  // left alone unless the entry here is deferrable
                EXPECT_TRUE(MapPayloadDestination(row.name, destination, &deferred));
                EXPECT_STREQ(destination, expected) << row.name << " " << platform << "/" << major;
                EXPECT_EQ(deferred, row.deferrable && *expected ? upgrade : 7) << row.name << " " << platform;
            }
    EXPECT_TRUE(RecordedMessages().empty());
}

namespace {

// Hooks for the failure rows; each fails one call the way the platform would.
decltype(&CreateFileA) realCreateFile;
decltype(&WriteFile) realWriteFile;
decltype(&LZClose) realLzClose;
decltype(&FindResourceA) realFindResource;
int lzCloses, frees;
std::vector<std::string> moves, found;

HANDLE FailCreate(DWORD onDisposition, DWORD error, LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d,
                  DWORD f, HANDLE m)
{
    if (d != onDisposition)
        return realCreateFile(p, a, s, sa, d, f, m);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}
HANDLE WINAPI FailCreateCopy(LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE m)
{
    return FailCreate(CREATE_NEW, ERROR_ACCESS_DENIED, p, a, s, sa, d, f, m);
}
// Every name but the compressed copy's is taken again each time it is freed.
HANDLE WINAPI FailCreateTarget(LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE m)
{
    if (std::string(p).starts_with(Context.TempDir))
        return realCreateFile(p, a, s, sa, d, f, m);
    return FailCreate(CREATE_NEW, ERROR_FILE_EXISTS, p, a, s, sa, d, f, m);
}
BOOL WINAPI WriteHalf(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    realWriteFile(file, bytes, size / 2, written, overlapped);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}
// A nearly full drive: the write succeeds with fewer bytes, as MS-DOS and Wine do.
BOOL WINAPI WriteShort(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    SetLastError(0);
    return realWriteFile(file, bytes, size / 2, written, overlapped);
}
BOOL WINAPI FailMove(LPCSTR, LPCSTR) { return SetLastError(ERROR_ACCESS_DENIED), FALSE; }
INT WINAPI FailLzInit(INT) { return LZERROR_READ; }
void WINAPI CountLzClose(INT file) { ++lzCloses, realLzClose(file); }
LONG WINAPI FailLzCopy(INT, INT) { return LZERROR_GLOBALLOC; }
HRSRC WINAPI FindNothing(HMODULE, LPCSTR, LPCSTR) { return nullptr; }
HRSRC WINAPI RecordFind(HMODULE m, LPCSTR n, LPCSTR t) { return found.push_back(n), realFindResource(m, n, t); }
HGLOBAL WINAPI LoadNothing(HMODULE, HRSRC) { return nullptr; }
LPVOID WINAPI LockNothing(HGLOBAL) { return nullptr; }
BOOL WINAPI CountFree(HGLOBAL) { return ++frees, FALSE; }
BOOL WINAPI FailEnumeration(HMODULE, LPCSTR, ENUMRESNAMEPROCA, LONG_PTR)
{
    return SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND), FALSE;
}
// Moves at the restart are recorded instead of made; the one-step
// replacement of an installed file goes on to the platform.
decltype(&MoveFileExA) realMoveEx;
BOOL WINAPI RecordMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (!(flags & MOVEFILE_DELAY_UNTIL_REBOOT))
        return realMoveEx(from, to, flags);
    return moves.push_back(std::string(from) + ">" + to + ":" + std::to_string(flags)), TRUE;
}
BOOL WINAPI FailMoveEx(LPCSTR, LPCSTR, DWORD) { return SetLastError(ERROR_ACCESS_DENIED), FALSE; }

} // namespace

TEST(PayloadExtraction, EachFailureIsReportedAndLeavesWhatItShould)
{
    const struct {
        void (*hook)();
        const char *name, *text, *caption;
        std::set<std::string> left;
        int lzCloses, frees;
        const char* move;
    } rows[] = {
        {[] { HOOK_IMPORT(FindResourceA, FindNothing); }, "VESK.SYS", "Cannot Find Resource", "VESK.SYS",
         {}, 0, 0, ""},
        {[] { HOOK_IMPORT(LoadResource, LoadNothing); }, "VESK.SYS", "Cannot Load Resource", nullptr, {}, 0, 0, ""},
        {[] { HOOK_IMPORT(LockResource, LockNothing), HOOK_IMPORT(FreeResource, CountFree); }, "VESK.SYS",
         "Cannot Lock Resource", nullptr, {}, 0, 1, ""},
        {[] { realCreateFile = HOOK_IMPORT(CreateFileA, FailCreateCopy); }, "VESK.SYS",
         "Unable to create compressed file '%TVESK.SY$'!", "Create File Failure! [00000005]", {}, 0, 0, ""},
        {[] { realWriteFile = HOOK_IMPORT(WriteFile, WriteHalf); }, "VESK.SYS",
         "Unable to write compressed file '%TVESK.SY$'!", "Write File Failure! [00000070]",
         {"Temp\\VESK.SY$"}, 0, 0, ""},
        {[] { realWriteFile = HOOK_IMPORT(WriteFile, WriteShort); }, "VESK.SYS",
         "Unable to write compressed file '%TVESK.SY$'!", "Write File Failure! [00000070]",
         {"Temp\\VESK.SY$"}, 0, 0, ""},
        {[] { HOOK_IMPORT(LZInit, FailLzInit); }, "VESK.SYS",
         "Unable to open source file '%TVESK.SY$'!", "File Open Failure! [-3]", {"Temp\\VESK.SY$"}, 0, 0, ""},
        // Deferred: the target is <System>Vesk.Dl#, the message names the destination.
        {[] { realCreateFile = HOOK_IMPORT(CreateFileA, FailCreateTarget); }, "VESK.DLL",
         "Unable to open destination file '%SVesk.Dll'!", "File Open Failure! [-1]", {"Temp\\VESK.DL$"},
         1, 0, ""},
        // Over the installed file: its old bytes stay, and no partial file is left.
        {[] { HOOK_IMPORT(LZCopy, FailLzCopy); }, "VESK.SYS", "Unable to expand file '%DVesk.Sys'!",
         "File Copy Failure! [-5]", {"Temp\\VESK.SY$"}, 2, 0, ""},
        {[] { SetFileAttributesA(Expand("%DVesk.Sys").c_str(), FILE_ATTRIBUTE_READONLY); }, "VESK.SYS",
         "Unable to open destination file '%DVesk.Sys'!", "File Open Failure! [-1]", {"Temp\\VESK.SY$"}, 1, 0, ""},
        {[] { HOOK_IMPORT(MoveFileExA, FailMoveEx), HOOK_IMPORT(MoveFileA, FailMove); }, "VESK.SYS",
         "Unable to open destination file '%DVesk.Sys'!", "Create File Failure! [00000005]", {}, 2, 0, ""},
        // Deferred: the expansion cannot be put over the file the restart is to move.
        {[] { HOOK_IMPORT(MoveFileExA, FailMoveEx), HOOK_IMPORT(MoveFileA, FailMove); }, "VESK.DLL",
         "Unable to open destination file '%SVesk.Dl$'!", "Create File Failure! [00000005]", {}, 1, 0, ""},
    };
    for (const auto& row : rows) {
        Scratch scratch("fail");
        Context.Platform = PlatformNt, Context.OsMajorVersion = 5;
        Context.Upgrade = TRUE, Context.FileCounter = 0;
        lzCloses = frees = 0;
        moves.clear();
        InstallMessageRecorder();
        realLzClose = HOOK_IMPORT(LZClose, CountLzClose);
        realMoveEx = HOOK_IMPORT(MoveFileExA, RecordMove);
        const std::string installed = Expand("%DVesk.Sys");
        std::ofstream(installed) << "old driver";
        row.hook();
        EXPECT_FALSE(EnumPayloadProc(Context.Instance, RT_RCDATA, const_cast<char*>(row.name), 0)) << row.text;
        RestoreImports();
        ExpectMessages({{Expand(row.text), row.caption}});
        EXPECT_EQ(scratch.Label(CounterLabelId), "File 1 of 10");
        SetFileAttributesA(installed.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadAll(installed), "old driver") << row.text;
        auto left = scratch.Files();
        left.erase("Windows\\System\\Drivers\\Vesk.Sys");
        EXPECT_EQ(left, row.left) << row.text;
        EXPECT_EQ(lzCloses, row.lzCloses) << row.text;
        EXPECT_EQ(frees, row.frees) << row.text;
        EXPECT_EQ(moves, *row.move ? std::vector{Expand(row.move)} : std::vector<std::string>{}) << row.text;
    }
}

TEST(PayloadExtraction, OverLongPathsAreRefusedBeforeAnythingIsWritten)
{
    // LZOpenFileA opens paths of up to 127 characters (its OFSTRUCT): a
    // destination written now. A deferred destination and the compressed
    // copy are only named, in messages of up to 259 characters, the longest
    // of which adds 36 to the path.
    const struct { char* field; const char *name, *file; size_t length; BOOL upgrade; bool installs; } rows[] = {
        {Context.AppDir, "MIXER.EXE", "Mixer.exe", 127, FALSE, true},
        {Context.AppDir, "MIXER.EXE", "Mixer.exe", 128, FALSE, false},
        {Context.AppDir, "MIXER.EXE", "Mixer.exe", 260, FALSE, false},
        {Context.TempDir, "RMVESK.EXE", "RMVESK.EX$", 223, FALSE, true},
        {Context.TempDir, "RMVESK.EXE", "RMVESK.EX$", 224, FALSE, false},
        {Context.SystemDir, "VESK.DLL", "Vesk.Dll", 223, TRUE, true},
        {Context.SystemDir, "VESK.DLL", "Vesk.Dll", 224, TRUE, false},
    };
    for (const auto& row : rows) {
        Scratch scratch("long");
        Context.Platform = PlatformNt, Context.OsMajorVersion = 5, Context.Upgrade = row.upgrade;
        size_t name = row.length - strlen(row.file) - scratch.root.size() - 1;
        std::string dir = scratch.root + std::string(name, 'd') + "\\";
        lstrcpyA(row.field, dir.c_str());
        CreateDirectoryA(dir.c_str(), nullptr);
        InstallMessageRecorder();
        moves.clear();
        realMoveEx = HOOK_IMPORT(MoveFileExA, RecordMove);
        HRSRC found = FindResourceA(nullptr, row.name, RT_RCDATA);
        auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
        EXPECT_EQ(ExpandPayload(row.name, bytes, SizeofResource(nullptr, found)), row.installs) << row.length;
        RestoreImports();
        if (row.installs)
            ExpectMessages({});
        else
            ExpectMessages({{std::string("Unable to install ") + row.name + ": the path\n\n" + dir + row.file +
                             "\n\nis too long for this setup program!", "Path Too Long!"}});
        EXPECT_EQ(scratch.Files().empty(), !row.installs) << row.length;
        EXPECT_EQ(moves.size(), row.upgrade && row.installs ? 1u : 0u);
    }
}

TEST(PayloadExtraction, StaleCopiesAreReplacedAndForeignPayloadsOnlyCounted)
{
    Scratch scratch("stale");
    Context.Platform = PlatformNt, Context.OsMajorVersion = 5;
    std::ofstream(scratch.root + "Temp\\VESK.SY$") << std::string(100000, 'x');  // left by a failed run
    EXPECT_TRUE(EnumPayloadProc(Context.Instance, RT_RCDATA, const_cast<char*>("VESK.SYS"), 0));
    EXPECT_TRUE(EnumPayloadProc(Context.Instance, RT_RCDATA, const_cast<char*>("VESK.VXD"), 0));  // not on NT
    EXPECT_EQ(scratch.Label(FileLabelId), Expand("%DVesk.Sys"));
    EXPECT_EQ(scratch.Label(CounterLabelId), "File 2 of 10");
    EXPECT_EQ(scratch.Files(), std::set<std::string>{"Windows\\System\\Drivers\\Vesk.Sys"});
    EXPECT_TRUE(ReadAll(Expand("%DVesk.Sys")) == CarriedBytes("Vesk.Sys"));
    ExpectMessages({});
    HOOK_IMPORT(EnumResourceNamesA, FailEnumeration);
    EXPECT_FALSE(CopyFiles());
    ExpectMessages({{"EnumResourceNames [00000715]", nullptr}});
}

// What a cut-off run leaves beside the catalogue's files and in the
// temporary folder, and what the next run makes of it ("!" marks a read-only
// file). Names the catalogue cannot produce are left alone.
TEST(PayloadExtraction, WhatACutOffRunLeftIsRecoveredOrRemovedAndNothingElse)
{
    using Files = std::map<std::string, std::string>;
    const struct { BOOL upgrade; Files before, after; } rows[] = {
        {FALSE, {{"App\\Mixer.exe", "new"}, {"App\\Mixer.ex~", "old"}}, {{"App\\Mixer.exe", "new"}}},
        {FALSE, {{"Windows\\RmVesk.ex~", "old"}}, {{"Windows\\RmVesk.exe", "old"}}},
        {FALSE, {{"Windows\\System\\Drivers\\Vesk.Sys", "new"}, {"Windows\\System\\Drivers\\Vesk.Sy~", "!old"}},
         {{"Windows\\System\\Drivers\\Vesk.Sys", "new"}}},
        {FALSE, {{"Windows\\Inf\\Vesk.In$", "part"}, {"Temp\\VESK.IN$", "part"}, {"Windows\\System\\Vesk.Dl$", "!part"},
                 {"Windows\\System\\Vesk.Dl#", "part"}, {"Temp\\VESK.DL#", "part"}},
         {}},
        // The temporary folder's names are only deleted, never made writable.
        {FALSE, {{"Temp\\VESK.SY$", "!planted"}}, {{"Temp\\VESK.SY$", "planted"}}},
        // An upgrade's restart may be about to move the drivers' expansions.
        {TRUE, {{"Windows\\System\\Vesk.Dl$", "new"}, {"Windows\\System\\Vesk.Vx$", "new"}, {"App\\Register.ex$", "part"},
                {"Temp\\VESK.DLL", "new"}, {"Windows\\System\\Vesk.Dl#", "part"}},
         {{"Windows\\System\\Vesk.Dl$", "new"}, {"Windows\\System\\Vesk.Vx$", "new"}, {"Temp\\VESK.DLL", "new"}}},
        // Cut off while the file the restart is to move was renamed aside.
        {TRUE, {{"Windows\\System\\Vesk.Dll", "in use"}, {"Windows\\System\\Vesk.Dl~", "queued"}},
         {{"Windows\\System\\Vesk.Dll", "in use"}, {"Windows\\System\\Vesk.Dl$", "queued"}}},
        // A file in the temporary folder that no run of this setup writes
        // never becomes the driver.
        {FALSE, {{"Temp\\VESKOLD.BAK", "anyone's"}}, {{"Temp\\VESKOLD.BAK", "anyone's"}}},
        {FALSE, {{"Temp\\VESKOLD.BAK", "!anyone's"}, {"Windows\\System\\Vesk.Dll", "new"}},
         {{"Temp\\VESKOLD.BAK", "anyone's"}, {"Windows\\System\\Vesk.Dll", "new"}}},
        {FALSE, {{"App\\Notes.tx~", "x"}, {"App\\Mixer.ex_", "x"}, {"Temp\\MIXER.EXE", "x"}, {"Temp\\OTHER.EX$", "x"}},
         {{"App\\Notes.tx~", "x"}, {"App\\Mixer.ex_", "x"}, {"Temp\\MIXER.EXE", "x"}, {"Temp\\OTHER.EX$", "x"}}},
    };
    for (const auto& row : rows) {
        Scratch scratch("left");
        Context.Platform = PlatformNt, Context.OsMajorVersion = 5;
        for (const auto& [name, content] : row.before) {
            std::ofstream(scratch.root + name) << (content[0] == '!' ? content.substr(1) : content);
            if (content[0] == '!')
                SetFileAttributesA((scratch.root + name).c_str(), FILE_ATTRIBUTE_READONLY);
        }
        RecoverLeftovers(row.upgrade);
        Files after;
        for (const std::string& name : scratch.Files()) {
            SetFileAttributesA((scratch.root + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            after[name] = ReadAll(scratch.root + name);
        }
        EXPECT_EQ(after, row.after) << row.before.begin()->first;
    }
    ExpectMessages({});
}

namespace {

// The moves made for the old Mixer.exe, and whether its name was ever empty
// after a move.
std::string watched;
bool watchedMissing;
std::vector<std::string> placing;
decltype(&MoveFileA) realMove;
BOOL NotePlacing(const char* call, LPCSTR to, BOOL moved)
{
    if (std::string(to).starts_with(watched.substr(0, watched.size() - 1)))
        placing.push_back(fs::path(to).filename().string() + " by " + call + (moved ? "" : " refused"));
    watchedMissing = watchedMissing || GetFileAttributesA(watched.c_str()) == INVALID_FILE_ATTRIBUTES;
    return moved;
}
BOOL WINAPI WatchMove(LPCSTR from, LPCSTR to) { return NotePlacing("MoveFileA", to, realMove(from, to)); }
BOOL WINAPI WatchMoveEx(LPCSTR from, LPCSTR to, DWORD f) { return NotePlacing("MoveFileExA", to, realMoveEx(from, to, f)); }

// Another user of the machine: a hard link to a file of his choice planted at
// each name just before Setup creates a file there, and every compressed copy
// in the temporary folder rewritten whenever Setup closes a handle.
std::string victim;
std::set<std::string> planted;
decltype(&CloseHandle) realClose;
HANDLE WINAPI PlantLink(LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE m)
{
    if (d != OPEN_EXISTING && planted.insert(p).second)
        CreateHardLinkA(p, victim.c_str(), nullptr);
    return realCreateFile(p, a, s, sa, d, f, m);
}
BOOL WINAPI RewriteCopies(HANDLE handle)
{
    BOOL closed = realClose(handle);
    for (const auto& entry : fs::directory_iterator(Context.TempDir)) {
        HANDLE copy = realCreateFile(entry.path().string().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD written;
        if (copy != INVALID_HANDLE_VALUE && WriteFile(copy, "planted", 7, &written, nullptr))
            realClose(copy);
    }
    return closed;
}

} // namespace

namespace {

// What the running platform receives, relative to the scratch root.
std::set<std::string> ExpectedFiles()
{
    std::set<std::string> files = {"Windows\\RmVesk.exe", "App\\Mixer.exe", "App\\Register.exe",
                                   "App\\MarluneReleaseNotes.txt"};
    if (Context.Platform == PlatformNt)
        files.insert({"Windows\\System\\Vesk.Dll", "Windows\\System\\Drivers\\Vesk.Sys"});
    else
        files.insert({"Windows\\System\\Vesk.Drv", "Windows\\System\\Vesk.VxD", "Windows\\System\\VeskASIO.Dll"});
    if (Context.Platform == Platform9x || Context.OsMajorVersion > 4)
        files.insert("Windows\\Inf\\Vesk.Inf");
    return files;
}

// The strings of a list ended by an empty string, each followed by "|".
std::string Joined(const char* strings)
{
    std::string joined;
    for (const char* p = strings; *p; p += strlen(p) + 1)
        joined += std::string(p) + "|";
    return joined;
}

// Takes the pending moves at restart out of the registry.
std::string TakePendingMoves()
{
    char value[4096] = {};
    DWORD size = sizeof value - 2;
    HKEY key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_ALL_ACCESS, &key);
    RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
    return Joined(value);
}

} // namespace

// An installed file is replaced in one step on Windows NT, so its name always
// holds the old or the new file; Windows 95 and 98 (no MoveFileExA) rename
// the old one aside first, a moment without it that the next run recovers.
TEST(PayloadAllPlatforms, CopyFilesInstallsTheCatalogueStamped)
{
    ASSERT_TRUE(RunStartup(GetModuleHandleA(nullptr), ""));
    Scratch scratch("full");
    std::ofstream(watched = Context.AppDir + std::string("Mixer.exe")) << "old";
    std::ofstream(victim = scratch.root + "victim.txt") << "not Setup's";
    const DWORD victimAttributes = GetFileAttributesA(victim.c_str());
    placing.clear(), planted.clear(), watchedMissing = false;
    realMove = HOOK_IMPORT(MoveFileA, WatchMove), realMoveEx = HOOK_IMPORT(MoveFileExA, WatchMoveEx);
    realCreateFile = HOOK_IMPORT(CreateFileA, PlantLink), realClose = HOOK_IMPORT(CloseHandle, RewriteCopies);
    ASSERT_TRUE(CopyFiles());
    RestoreImports();
    EXPECT_EQ(ReadAll(victim), "not Setup's");
    EXPECT_EQ(GetFileAttributesA(victim.c_str()), victimAttributes);
    DeleteFileA(victim.c_str());
    using Moves = std::vector<std::string>;
    EXPECT_EQ(placing, (Context.Platform == PlatformNt ? Moves{"Mixer.exe by MoveFileExA"}
        : Moves{"Mixer.exe by MoveFileExA refused", "Mixer.ex~ by MoveFileA", "Mixer.exe by MoveFileA"}));
    EXPECT_EQ(watchedMissing, Context.Platform != PlatformNt);
    ExpectMessages({});
    EXPECT_EQ(Context.FileCounter, 10);
    EXPECT_EQ(scratch.Label(CounterLabelId), "File 10 of 10");
    EXPECT_EQ(scratch.Label(FileLabelId), Expand(Context.Platform == PlatformNt ? "%DVesk.Sys" : "%SVeskASIO.Dll"));
    EXPECT_EQ(scratch.Files(), ExpectedFiles());  // no compressed copy left in Temp
    ExpectInstalledAsCarried(scratch.root, ExpectedFiles());
}

// The restart takes a deferred file from the temporary folder only on
// Windows 95 and 98, and there only on the destination's drive and through
// short names. Otherwise, and always on Windows NT, it waits beside the
// destination, and WININIT.INI gets the short forms.
TEST(PayloadAllPlatforms, UpgradeLeavesTheDriversInUseToTheRestart)
{
    ASSERT_TRUE(RunStartup(GetModuleHandleA(nullptr), ""));
    const std::string wininit = std::string(Context.WindowsDir) + "WININIT.INI";
    const std::string otherDrive = "Z:\\tmp\\mlp-temp-" + std::to_string(GetCurrentProcessId()) + "\\";
    const bool nt = Context.Platform == PlatformNt;
    const struct { const char *scratch, *temp; bool fromTemp; } rows[] = {
        {"upg", "Temp\\", !nt}, {"upg", otherDrive.c_str(), false}, {"upgrade long", "Temporary Files\\", false}};
    for (const auto& [scratchName, temp, fromTemp] : rows) {
        SCOPED_TRACE(temp);
        DeleteFileA(wininit.c_str()), TakePendingMoves();
        Scratch scratch(scratchName);
        Context.Upgrade = TRUE;
        lstrcpyA(Context.TempDir, (temp == otherDrive ? temp : scratch.root + temp).c_str());
        fs::create_directories(Context.TempDir);
        char shortSystem[MAX_PATH];
        GetShortPathNameA(Context.SystemDir, shortSystem, MAX_PATH);
        std::set<std::string> expected = ExpectedFiles(), installed = expected;
        std::string renames;
        std::vector<HANDLE> held;
        using Names = std::vector<std::string>;
        for (std::string file : nt ? Names{"Vesk.Dll"} : Names{"Vesk.Drv", "Vesk.VxD"}) {
            std::string path = Expand("%S") + file;
            std::ofstream(path) << "in use";
            held.push_back(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            installed.erase("Windows\\System\\" + file);
            std::string upper = file, beside = file.substr(0, file.size() - 1) + "$";
            CharUpperA(upper.data());
            std::string staged = fromTemp ? temp + upper : "Windows\\System\\" + beside;
            installed.insert(staged), expected.insert(staged);
            std::string target = fromTemp ? Context.TempDir + upper : Expand("%S") + beside;
            if (nt)
                renames += "\\??\\" + target + "|!\\??\\" + path + "|";
            else if (fromTemp)
                renames += path + "=" + target + "|";
            else
                renames += shortSystem + file + "=" + shortSystem + beside + "|";
        }
        // A second run (the first cut off, or not restarted yet) asks for no second move.
        EXPECT_TRUE(CopyFiles() && CopyFiles());
        for (HANDLE h : held)
            CloseHandle(h);
        ExpectMessages({});
        char section[4096] = {};
        GetPrivateProfileSectionA("rename", section, sizeof section, wininit.c_str());
        DeleteFileA(wininit.c_str());
        EXPECT_EQ(nt ? TakePendingMoves() : Joined(section), renames);
        EXPECT_EQ(nt ? Joined(section) : TakePendingMoves(), "");
        EXPECT_EQ(scratch.Files(), expected);
        ExpectInstalledAsCarried(scratch.root, installed);
        for (const std::string& file : expected)
            if (!installed.count(file))
                EXPECT_EQ(ReadAll(scratch.root + file), "in use") << file;
        fs::remove_all(otherDrive);
    }
}

TEST(PayloadWin98, AFailingVxdStopsAfterTheEarlierFiles)
{
    ASSERT_TRUE(RunStartup(GetModuleHandleA(nullptr), ""));
    Scratch scratch("vxd");
    // Neither the destination nor the name LZOpenFileA tries next can be created.
    fs::create_directory(Expand("%SVesk.VxD"));
    fs::create_directory(Expand("%SVesk.Vx_"));
    found.clear();
    realFindResource = HOOK_IMPORT(FindResourceA, RecordFind);
    EXPECT_FALSE(CopyFiles());
    auto messages = RecordedMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, Expand("Unable to open destination file '%SVesk.VxD'!"));
    EXPECT_EQ(messages[0].caption, "File Open Failure! [-1]");
    EXPECT_TRUE(messages[1].text.starts_with("EnumResourceNames [") && messages[1].text.size() == 28)
        << messages[1].text;
    EXPECT_TRUE(messages[1].captionIsNull);
    EXPECT_EQ(scratch.Label(CounterLabelId), "File 9 of 10");
    std::vector<std::string> offered;  // all but VESKASIO.DLL
    for (int i = 0; i < 9; ++i)
        offered.push_back(Carried[i][0]);
    EXPECT_EQ(found, offered);
    std::set<std::string> earlier = {"App\\MarluneReleaseNotes.txt", "App\\Mixer.exe", "App\\Register.exe",
                                     "Windows\\RmVesk.exe", "Windows\\System\\Vesk.Drv", "Windows\\Inf\\Vesk.Inf"};
    std::set<std::string> left = earlier;
    left.insert("Temp\\VESK.VX$");
    EXPECT_EQ(scratch.Files(), left);
    ExpectInstalledAsCarried(scratch.root, earlier);
}

TEST(PayloadStandIns, TheDriverAnswersAndTheProgramsCloseOnRequest)
{
    char windowsDir[MAX_PATH];
    GetWindowsDirectoryA(windowsDir, MAX_PATH);
    const std::string log = std::string(windowsDir) + "\\Temp\\vesk-driver.log";
    DeleteFileA(log.c_str());
    HDRVR driver = OpenDriver(fs::path(StandInDir + "Vesk.Dll").wstring().c_str(), nullptr, 0);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(SendDriverMessage(driver, DRV_INSTALL, 0, 0), DRVCNF_OK);
    CloseDriver(driver, 0, 0);
    EXPECT_EQ(ReadAll(log), "DRV_LOAD 1\r\nDRV_ENABLE 2\r\nDRV_OPEN 3\r\nDRV_INSTALL 9\r\nDRV_CLOSE 4\r\n"
                            "DRV_DISABLE 5\r\nDRV_FREE 6\r\n");
    DeleteFileA(log.c_str());

    // The setup closes these by their titles with WM_SYSCOMMAND / SC_CLOSE.
    for (auto [program, title, minimised] : {std::tuple{"Mixer.exe\"", "Marlune Mixer", false},
                                             {"Mixer.exe\" TASKBAR", "Marlune Mixer", true},
                                             {"RmVesk.exe\"", "Uninstall Marlune Driver", false}}) {
        std::string command = "\"" + StandInDir + program;
        STARTUPINFOA startup = {sizeof startup};
        PROCESS_INFORMATION process;
        ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        HWND window;
        while (!(window = FindWindowA(nullptr, title)) || !IsWindowVisible(window))
            Sleep(50);  // until the program has shown it, minimised or not
        EXPECT_EQ(IsIconic(window) != FALSE, minimised) << command;
        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0) << command << " did not close";
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
