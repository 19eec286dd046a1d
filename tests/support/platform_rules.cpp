#include "tests/support/platform_rules.h"
#include "tests/support/import_slots.h"
#include <windows.h>
#include <cstring>

namespace {

decltype(&CreateThread) realCreateThread;
decltype(&GetWindow) realGetWindow;
decltype(&CreateMutexA) realCreateMutex;

// Windows 95/98: "lpThreadId ... may not be NULL" (Platform SDK, CreateThread,
// Windows 95/98 remark); the thread is not created. Also noted by the
// mingw-lite thunks for Windows 9x (support/thunk/kernel32/4.0/CreateThread.cc).
HANDLE WINAPI CreateThread9x(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                             LPVOID parameter, DWORD flags, LPDWORD threadId)
{
    if (!threadId) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return realCreateThread(security, stack, start, parameter, flags, threadId);
}

// Exported by Windows 95/98 as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED.
template <typename Result>
Result NotImplemented()
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return Result();
}
// MoveFileExA: "Windows 95 does not implement MoveFileEx()" (KB Q129532);
// Windows 98 exports a stub (mingw-lite support/thunk/kernel32/a/4.0/MoveFileExA.cc).
BOOL WINAPI MoveFileEx9x(LPCSTR, LPCSTR, DWORD) { return NotImplemented<BOOL>(); }
// Security functions are "provided as stub routines" on Windows 95 ("Windows 95
// General Limitations", MSDN 1998); Wine's advapi32 security tests skip on
// ERROR_CALL_NOT_IMPLEMENTED there.
BOOL WINAPI OpenProcessToken9x(HANDLE, DWORD, PHANDLE) { return NotImplemented<BOOL>(); }
BOOL WINAPI AdjustTokenPrivileges9x(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)
{
    return NotImplemented<BOOL>();
}
BOOL WINAPI LookupPrivilegeValue9x(LPCSTR, LPCSTR, PLUID) { return NotImplemented<BOOL>(); }
// GetHandleInformation: "Windows: Unsupported" (MSDN 1998, handobj_135a);
// Windows 98 exports it "always returning 0, ERROR_CALL_NOT_IMPLEMENTED".
BOOL WINAPI GetHandleInformation9x(HANDLE, LPDWORD) { return NotImplemented<BOOL>(); }
// Wide-character functions other than the code-page conversions are stubs on
// Windows 95/98 ("Windows 95 General Limitations"; KernelEx and mingw-lite
// reimplement these three for that reason).
HMODULE WINAPI LoadLibraryW9x(LPCWSTR) { return NotImplemented<HMODULE>(); }
HMODULE WINAPI GetModuleHandleW9x(LPCWSTR) { return NotImplemented<HMODULE>(); }
HANDLE WINAPI CreateSemaphoreW9x(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR) { return NotImplemented<HANDLE>(); }

// Object names on Windows 95, 98 and NT 4 "can include any character except
// the backslash" (MSDN 1998, Synchronization, Object Names); the "Global\" and
// "Local\" prefixes came with Terminal Services (Windows 2000: CreateMutex,
// Platform SDK). NT 4 looks such a name up as a path under BaseNamedObjects,
// which has no "Global" folder there: the path is not found. Wine accepts it.
HANDLE WINAPI CreateMutexWithoutPrefixes(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCSTR name)
{
    if (name && strchr(name, '\\')) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    return realCreateMutex(security, owned, name);
}

// GW_ENABLEDPOPUP on Windows 2000/XP (Platform SDK, GetWindow): a window that
// owns no enabled popup is answered with its own handle; Wine answers null. Earlier versions do not define the
// command; they get the same answer, the one that holds the code to the
// documented contract.
HWND WINAPI GetWindowAsDocumented(HWND window, UINT command)
{
    HWND found = realGetWindow(window, command);
    if (command == GW_ENABLEDPOPUP && !found && IsWindow(window))
        return window;
    return found;
}

enum : unsigned { On9x = 1u << Windows9xRules, OnNt4 = 1u << WindowsNt4Rules, OnLater = 1u << LaterRules };

struct PlatformRule {
    const char* Function;
    unsigned Platforms;
    void* Replacement;
    void** Original;  // where the replacement finds the real function, if it calls it
};

const PlatformRule Rules[] = {
    {"CreateThread", On9x, reinterpret_cast<void*>(CreateThread9x), reinterpret_cast<void**>(&realCreateThread)},
    {"MoveFileExA", On9x, reinterpret_cast<void*>(MoveFileEx9x), nullptr},
    {"OpenProcessToken", On9x, reinterpret_cast<void*>(OpenProcessToken9x), nullptr},
    {"AdjustTokenPrivileges", On9x, reinterpret_cast<void*>(AdjustTokenPrivileges9x), nullptr},
    {"LookupPrivilegeValueA", On9x, reinterpret_cast<void*>(LookupPrivilegeValue9x), nullptr},
    {"GetHandleInformation", On9x, reinterpret_cast<void*>(GetHandleInformation9x), nullptr},
    {"LoadLibraryW", On9x, reinterpret_cast<void*>(LoadLibraryW9x), nullptr},
    {"GetModuleHandleW", On9x, reinterpret_cast<void*>(GetModuleHandleW9x), nullptr},
    {"CreateSemaphoreW", On9x, reinterpret_cast<void*>(CreateSemaphoreW9x), nullptr},
    {"CreateMutexA", On9x | OnNt4, reinterpret_cast<void*>(CreateMutexWithoutPrefixes),
     reinterpret_cast<void**>(&realCreateMutex)},
    {"GetWindow", On9x | OnNt4 | OnLater, reinterpret_cast<void*>(GetWindowAsDocumented),
     reinterpret_cast<void**>(&realGetWindow)},
};

} // namespace

PlatformRuleSet PlatformRulesForThisVersion()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return NoPlatformRules;
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return Windows9xRules;
    return version.dwMajorVersion <= 4 ? WindowsNt4Rules : LaterRules;
}

void InstallPlatformRules(PlatformRuleSet rules)
{
    if (rules == NoPlatformRules)
        return;
    for (const PlatformRule& rule : Rules) {
        if (!(rule.Platforms & (1u << rules)))
            continue;
        void** slot = FindImportSlot(rule.Function);
        if (!slot)
            continue;  // this image does not call it
        if (rule.Original)
            *rule.Original = *slot;
        WriteImportSlot(slot, rule.Replacement);
    }
}
