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

// What lies beneath each counter: the platform rules or the platform.
#define NEXT(name) decltype(&::name) next##name
NEXT(CreateFileA); NEXT(WriteFile); NEXT(SetEndOfFile); NEXT(LZOpenFileA); NEXT(LZCopy);
NEXT(MoveFileA); NEXT(MoveFileExA); NEXT(CopyFileA); NEXT(DeleteFileA); NEXT(SetFileAttributesA);
NEXT(SetFileTime); NEXT(CreateDirectoryA); NEXT(RemoveDirectoryA); NEXT(WritePrivateProfileStringA);
NEXT(RegCreateKeyExA); NEXT(RegSetValueExA); NEXT(RegDeleteValueA); NEXT(RegDeleteKeyA);
NEXT(GetProcAddress); NEXT(CoCreateInstance);
decltype(&::SetupDiSetDeviceRegistryPropertyA) nextSetDeviceProperty;
HRESULT(STDMETHODCALLTYPE* nextSaveLink)(IPersistFile*, LPCOLESTR, BOOL);

HANDLE WINAPI CountCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE from)
{
    if ((access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) || disposition != OPEN_EXISTING)
        Change("CreateFileA", path);
    return nextCreateFileA(path, access, share, security, disposition, flags, from);
}
BOOL WINAPI CountWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    char bytes[16];
    snprintf(bytes, sizeof bytes, "%lu bytes", size);
    Change("WriteFile", bytes);
    return nextWriteFile(file, data, size, written, overlapped);
}
BOOL WINAPI CountSetEndOfFile(HANDLE file)
{
    Change("SetEndOfFile");
    return nextSetEndOfFile(file);
}
INT WINAPI CountLZOpenFileA(LPSTR path, LPOFSTRUCT info, WORD style)
{
    if (style & OF_CREATE)
        Change("LZOpenFileA", path);
    return nextLZOpenFileA(path, info, style);
}
LONG WINAPI CountLZCopy(INT from, INT to)
{
    Change("LZCopy");
    return nextLZCopy(from, to);
}
BOOL WINAPI CountMoveFileA(LPCSTR from, LPCSTR to)
{
    Change("MoveFileA", from, to);
    return nextMoveFileA(from, to);
}
BOOL WINAPI CountMoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    Change("MoveFileExA", from, to ? to : "(delete)");
    return nextMoveFileExA(from, to, flags);
}
BOOL WINAPI CountCopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    Change("CopyFileA", from, to);
    return nextCopyFileA(from, to, failIfExists);
}
BOOL WINAPI CountDeleteFileA(LPCSTR path)
{
    Change("DeleteFileA", path);
    return nextDeleteFileA(path);
}
BOOL WINAPI CountSetFileAttributesA(LPCSTR path, DWORD attributes)
{
    Change("SetFileAttributesA", path);
    return nextSetFileAttributesA(path, attributes);
}
BOOL WINAPI CountSetFileTime(HANDLE file, const FILETIME* created, const FILETIME* accessed, const FILETIME* written)
{
    Change("SetFileTime");
    return nextSetFileTime(file, created, accessed, written);
}
BOOL WINAPI CountCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security)
{
    Change("CreateDirectoryA", path);
    return nextCreateDirectoryA(path, security);
}
BOOL WINAPI CountRemoveDirectoryA(LPCSTR path)
{
    Change("RemoveDirectoryA", path);
    return nextRemoveDirectoryA(path);
}
BOOL WINAPI CountWritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    Change("WritePrivateProfileStringA", file, key ? key : "(section)");
    return nextWritePrivateProfileStringA(section, key, value, file);
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
LONG WINAPI CountRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    Change("RegSetValueExA", name ? name : "@");
    return nextRegSetValueExA(key, name, reserved, type, data, size);
}
LONG WINAPI CountRegDeleteValueA(HKEY key, LPCSTR name)
{
    Change("RegDeleteValueA", name ? name : "@");
    return nextRegDeleteValueA(key, name);
}
LONG WINAPI CountRegDeleteKeyA(HKEY root, LPCSTR subkey)
{
    Change("RegDeleteKeyA", Root(root), subkey);
    return nextRegDeleteKeyA(root, subkey);
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
    FARPROC found = nextGetProcAddress(module, name);
    if (found && !IS_INTRESOURCE(name) && strcmp(name, "SetupDiSetDeviceRegistryPropertyA") == 0) {
        nextSetDeviceProperty = reinterpret_cast<decltype(nextSetDeviceProperty)>(reinterpret_cast<void*>(found));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(CountSetDeviceProperty));
    }
    return found;
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
const Counter Counters[] = {
    COUNTER(CreateFileA), COUNTER(WriteFile), COUNTER(SetEndOfFile), COUNTER(LZOpenFileA), COUNTER(LZCopy),
    COUNTER(MoveFileA), COUNTER(MoveFileExA), COUNTER(CopyFileA), COUNTER(DeleteFileA),
    COUNTER(SetFileAttributesA), COUNTER(SetFileTime), COUNTER(CreateDirectoryA), COUNTER(RemoveDirectoryA),
    COUNTER(WritePrivateProfileStringA), COUNTER(RegCreateKeyExA), COUNTER(RegSetValueExA),
    COUNTER(RegDeleteValueA), COUNTER(RegDeleteKeyA), COUNTER(GetProcAddress), COUNTER(CoCreateInstance),
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
