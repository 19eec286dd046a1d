// Setup.exe as the cut-off sweep runs it (tests/scenarios/sweep.sh): the
// product's code unchanged, with the platform rules of the version it sees
// and, above them, a counter in front of every import through which Setup
// changes the machine: files created, opened for writing, written, renamed,
// copied, deleted, their attributes and times, folders, INI entries,
// registry keys and values, device properties and shell links.
//   MARLUNE_SWEEP_LOG=PATH  appends one line per change ("N Function what"),
//                           then "total N" when Setup returns
//   MARLUNE_SWEEP_CUT=K     ends the process just before the K-th change,
//                           with TerminateProcess on itself: no clean-up, no
//                           dialog, as End Task, a crash or a power cut
//                           would leave it (exit code 86, "cut K ..." logged)
// The log is written through the C runtime, whose own imports are not counted.
#include <windows.h>
#include <objbase.h>
#include <setupapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "setup/setup_sequence.h"
#include "base/system_library.h"
#include "tests/support/import_slots.h"
#include "tests/support/platform_rules.h"

namespace {

constexpr UINT CutExitCode = 86;
FILE* changeLog;
LONG changes;
LONG cutAt;  // 0: never

// Counts one change, which is about to be made; ends the process instead
// when it is the one to cut before.
void Change(const char* function, const char* what = "", const char* more = "")
{
    LONG n = InterlockedIncrement(&changes);
    if (changeLog) {
        fprintf(changeLog, "%s%ld %s %s%s%s\n", n == cutAt ? "cut " : "", n, function, what,
                *more ? " -> " : "", more);
        fflush(changeLog);
    }
    if (n == cutAt)
        TerminateProcess(GetCurrentProcess(), CutExitCode);
}

const char* Root(HKEY key)
{
    static char text[16];
    if (key == HKEY_LOCAL_MACHINE)
        return "HKLM";
    if (key == HKEY_CURRENT_USER)
        return "HKCU";
    if (key == HKEY_CLASSES_ROOT)
        return "HKCR";
    snprintf(text, sizeof text, "key %p", static_cast<void*>(key));
    return text;
}

// What a change touched, for the log: the call's first two texts (paths,
// value names).
template <typename T> const char* Text(T) { return nullptr; }
const char* Text(const char* text) { return text ? text : "(null)"; }
const char* Text(char* text) { return Text(static_cast<const char*>(text)); }

// The counter of a call that is a change whatever its arguments; it calls on
// to what lies beneath it (the platform rules or the platform).
template <typename F> struct Counted;
template <typename R, typename... A> struct Counted<R(WINAPI*)(A...)> {
    template <const char* Name, R(WINAPI** Next)(A...)>
    static R WINAPI Call(A... arguments)
    {
        const char* texts[] = {Text(arguments)..., nullptr};
        const char* shown[2] = {"", ""};
        int found = 0;
        for (const char* text : texts)
            if (text && found < 2)
                shown[found++] = text;
        Change(Name, shown[0], shown[1]);
        return (*Next)(arguments...);
    }
};
#define NEXT(name) decltype(&::name) next##name
#define ALWAYS(name) constexpr char name##Name[] = #name; NEXT(name)
ALWAYS(WriteFile); ALWAYS(SetEndOfFile); ALWAYS(LZCopy); ALWAYS(MoveFileA); ALWAYS(CopyFileA);
ALWAYS(DeleteFileA); ALWAYS(SetFileAttributesA); ALWAYS(SetFileTime); ALWAYS(CreateDirectoryA);
ALWAYS(RemoveDirectoryA); ALWAYS(WritePrivateProfileStringA); ALWAYS(RegSetValueExA); ALWAYS(RegDeleteValueA);
ALWAYS(RegDeleteKeyA);
// These count only some calls, say more, or hand out counters of their own.
NEXT(CreateFileA); NEXT(LZOpenFileA); NEXT(MoveFileExA); NEXT(RegCreateKeyExA); NEXT(GetProcAddress); NEXT(CoCreateInstance);
decltype(&::SetupDiSetDeviceRegistryPropertyA) nextSetDeviceProperty;
HRESULT(STDMETHODCALLTYPE* nextSaveLink)(IPersistFile*, LPCOLESTR, BOOL);

HANDLE WINAPI CountCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE from)
{
    if ((access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) || disposition != OPEN_EXISTING)
        Change("CreateFileA", path);
    return nextCreateFileA(path, access, share, security, disposition, flags, from);
}
INT WINAPI CountLZOpenFileA(LPSTR path, LPOFSTRUCT info, WORD style)
{
    if (style & OF_CREATE)
        Change("LZOpenFileA", path);
    return nextLZOpenFileA(path, info, style);
}
// A move the platform makes at the restart says so: the sweep tells the
// restart's queue from a replacement in one step.
BOOL WINAPI CountMoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    char onto[MAX_PATH + 20];
    snprintf(onto, sizeof onto, "%s%s", Text(to), flags & MOVEFILE_DELAY_UNTIL_REBOOT ? " at the restart" : "");
    Change("MoveFileExA", Text(from), onto);
    return nextMoveFileExA(from, to, flags);
}
// A key that opens already is not created: only a creating call is a change.
LONG WINAPI CountRegCreateKeyExA(HKEY root, LPCSTR subkey, DWORD reserved, LPSTR cls, DWORD options, REGSAM access,
                                 LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition)
{
    HKEY existing;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &existing) == ERROR_SUCCESS)
        RegCloseKey(existing);
    else
        Change("RegCreateKeyExA", Root(root), subkey);
    return nextRegCreateKeyExA(root, subkey, reserved, cls, options, access, security, key, disposition);
}
BOOL WINAPI CountSetDeviceProperty(HDEVINFO devices, PSP_DEVINFO_DATA device, DWORD property, const BYTE* buffer,
                                   DWORD size)
{
    char text[24];
    snprintf(text, sizeof text, "property %lu", property);
    Change("SetupDiSetDeviceRegistryPropertyA", text);
    return nextSetDeviceProperty(devices, device, property, buffer, size);
}
// The device setup library is loaded at run time: its entry points are
// counted where Setup looks them up.
FARPROC WINAPI CountGetProcAddress(HMODULE module, LPCSTR name)
{
    return HandOut(nextGetProcAddress(module, name), name, "SetupDiSetDeviceRegistryPropertyA",
                   &CountSetDeviceProperty, &nextSetDeviceProperty);
}
HRESULT STDMETHODCALLTYPE CountSaveLink(IPersistFile* file, LPCOLESTR path, BOOL remember)
{
    char name[MAX_PATH] = "";
    if (path)
        WideCharToMultiByte(CP_ACP, 0, path, -1, name, sizeof name, nullptr, nullptr);
    Change("IPersistFile::Save", name);
    return nextSaveLink(file, path, remember);
}
// A shell link is written by the link object's IPersistFile::Save, inside
// the shell: its entry in the object's function table is replaced, once.
HRESULT WINAPI CountCoCreateInstance(REFCLSID cls, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    HRESULT result = nextCoCreateInstance(cls, outer, context, iid, object);
    IPersistFile* file;
    if (SUCCEEDED(result) && !nextSaveLink
        && SUCCEEDED(static_cast<IUnknown*>(*object)->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        void** table = *reinterpret_cast<void***>(file);
        void** save = &table[6];  // QueryInterface, AddRef, Release, GetClassID, IsDirty, Load, Save
        nextSaveLink = reinterpret_cast<decltype(nextSaveLink)>(*save);
        WriteImportSlot(save, reinterpret_cast<void*>(CountSaveLink));
        file->Release();
    }
    return result;
}

struct Counter {
    const char* name;
    void* replacement;
    void** next;
};
#define COUNTER(name) {#name, reinterpret_cast<void*>(Count##name), reinterpret_cast<void**>(&next##name)}
#define COUNTED(name) {#name, reinterpret_cast<void*>(Counted<decltype(&::name)>::Call<name##Name, &next##name>), \
                       reinterpret_cast<void**>(&next##name)}
const Counter Counters[] = {
    COUNTER(CreateFileA), COUNTED(WriteFile), COUNTED(SetEndOfFile), COUNTER(LZOpenFileA), COUNTED(LZCopy),
    COUNTED(MoveFileA), COUNTER(MoveFileExA), COUNTED(CopyFileA), COUNTED(DeleteFileA),
    COUNTED(SetFileAttributesA), COUNTED(SetFileTime), COUNTED(CreateDirectoryA), COUNTED(RemoveDirectoryA),
    COUNTED(WritePrivateProfileStringA), COUNTER(RegCreateKeyExA), COUNTED(RegSetValueExA),
    COUNTED(RegDeleteValueA), COUNTED(RegDeleteKeyA), COUNTER(GetProcAddress), COUNTER(CoCreateInstance),
};

// Each counter goes on top of whatever the slot holds; a function Setup does
// not import makes no change through this image.
void InstallCounters()
{
    for (const Counter& counter : Counters)
        if (void** slot = FindImportSlot(counter.name)) {
            *counter.next = *slot;
            WriteImportSlot(slot, counter.replacement);
        }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int)
{
    InstallPlatformRules(PlatformRulesForThisVersion());
    // As Setup.exe starts; the counters then lie in the product's own slots
    // of the libraries it loads from the system folder.
    HardenLibrarySearch();
    LoadSystemImports();
    if (const char* log = getenv("MARLUNE_SWEEP_LOG"))
        changeLog = fopen(log, "ab");
    if (const char* cut = getenv("MARLUNE_SWEEP_CUT"))
        cutAt = atol(cut);
    InstallCounters();
    int result = SetupMain(instance, commandTail);
    if (changeLog) {
        fprintf(changeLog, "total %ld\n", changes);
        fclose(changeLog);
    }
    return result;
}
