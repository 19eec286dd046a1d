#include "tests/support/handle_ledger.h"
#include "tests/support/import_slots.h"
#include <windows.h>
#include <lzexpand.h>
#include <mmsystem.h>
#include <objbase.h>
#include <setupapi.h>
#include <gtest/gtest.h>
#include <cstdint>
#include <cstring>
#include <sstream>
#include "tests/support/import_hook.h"

namespace {

// Handles of different kinds may share values; each close strikes out only
// its own kind.
enum Kind { RegistryKey, KernelObject, FindHandle, LzFile, Library, DeviceList, Driver, ComObject };

struct Entry {
    Kind kind;
    uintptr_t handle;
    const char* call;
};

CRITICAL_SECTION lock;
std::vector<Entry> entries;
uintptr_t productStart, productSize;

// Whether the innermost call through the import table on this thread came
// from the product's code. Set by the upper hooks, read by the lower ones.
thread_local bool productCalling;

// Marks one call as the product's while it lasts, when the return address
// lies in the product's code.
struct ProductCall {
    bool saved;
    explicit ProductCall(void* returnAddress) : saved(productCalling)
    {
        productCalling = reinterpret_cast<uintptr_t>(returnAddress) - productStart < productSize;
    }
    ~ProductCall() { productCalling = saved; }
    ProductCall(const ProductCall&) = delete;
    ProductCall& operator=(const ProductCall&) = delete;
};

// The upper hook of an import: it sees the call first, straight from its
// caller, and passes it on to whatever lies beneath (a test's hook, the lower
// ledger hook, the platform).
template <typename F> struct UpperHook;
template <typename R, typename... A> struct UpperHook<R (WINAPI*)(A...)> {
    template <R (WINAPI** Next)(A...)>
    static R WINAPI Call(A... arguments)
    {
        ProductCall call(__builtin_return_address(0));
        return (*Next)(arguments...);
    }
};

void Enter(Kind kind, uintptr_t handle, const char* call)
{
    if (!productCalling)
        return;
    EnterCriticalSection(&lock);
    entries.push_back({kind, handle, call});
    LeaveCriticalSection(&lock);
}

// Strikes out one entry of the handle; true when it was one of the product's.
bool StrikeOut(Kind kind, uintptr_t handle)
{
    EnterCriticalSection(&lock);
    bool found = false;
    for (auto it = entries.begin(); it != entries.end(); ++it)
        if (it->kind == kind && it->handle == handle) {
            entries.erase(it);
            found = true;
            break;
        }
    LeaveCriticalSection(&lock);
    return found;
}

template <typename F> uintptr_t Value(F handle) { return (uintptr_t)(handle); }

// The function beneath each lower hook: the platform's own, or a hook of a
// layer installed earlier.
decltype(&RegOpenKeyExA) nextRegOpenKeyEx;
decltype(&RegCreateKeyExA) nextRegCreateKeyEx;
decltype(&RegCloseKey) nextRegCloseKey;
decltype(&CreateFileA) nextCreateFile;
decltype(&OpenProcessToken) nextOpenProcessToken;
decltype(&CreateThread) nextCreateThread;
decltype(&CreateMutexA) nextCreateMutex;
decltype(&CloseHandle) nextCloseHandle;
decltype(&FindFirstFileA) nextFindFirstFile;
decltype(&FindClose) nextFindClose;
decltype(&LZOpenFileA) nextLZOpenFile;
decltype(&LZClose) nextLZClose;
decltype(&LZInit) nextLZInit;
decltype(&LoadLibraryA) nextLoadLibrary;
decltype(&FreeLibrary) nextFreeLibrary;
decltype(&GetProcAddress) nextGetProcAddress;
decltype(&OpenDriver) nextOpenDriver;
decltype(&CloseDriver) nextCloseDriver;
decltype(&CoCreateInstance) nextCoCreateInstance;
decltype(&SetupDiGetClassDevsA) realGetClassDevs;
decltype(&SetupDiDestroyDeviceInfoList) realDestroyList;

// A close: strikes out the entry of its first argument, of the kind `K`, and
// passes the call on to `*Next`.
template <Kind K, typename F, F* Next> struct Closes;
template <Kind K, typename R, typename H, typename... A, R (WINAPI** Next)(H, A...)>
struct Closes<K, R (WINAPI*)(H, A...), Next> {
    static R WINAPI Call(H handle, A... rest)
    {
        StrikeOut(K, Value(handle));
        return (*Next)(handle, rest...);
    }
};
#define CLOSES(kind, next) Closes<kind, decltype(next), &next>::Call

LONG WINAPI LedgerRegOpenKeyEx(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key)
{
    LONG result = nextRegOpenKeyEx(root, path, options, access, key);
    if (result == ERROR_SUCCESS)
        Enter(RegistryKey, Value(*key), "RegOpenKeyExA");
    return result;
}
LONG WINAPI LedgerRegCreateKeyEx(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options,
                                 REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition)
{
    LONG result = nextRegCreateKeyEx(root, path, reserved, cls, options, access, security, key, disposition);
    if (result == ERROR_SUCCESS)
        Enter(RegistryKey, Value(*key), "RegCreateKeyExA");
    return result;
}
HANDLE WINAPI LedgerCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE model)
{
    HANDLE file = nextCreateFile(path, access, share, security, disposition, flags, model);
    if (file != INVALID_HANDLE_VALUE)
        Enter(KernelObject, Value(file), "CreateFileA");
    return file;
}
BOOL WINAPI LedgerOpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    BOOL opened = nextOpenProcessToken(process, access, token);
    if (opened)
        Enter(KernelObject, Value(*token), "OpenProcessToken");
    return opened;
}
HANDLE WINAPI LedgerCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                 LPVOID parameter, DWORD flags, LPDWORD id)
{
    HANDLE thread = nextCreateThread(security, stack, start, parameter, flags, id);
    if (thread)
        Enter(KernelObject, Value(thread), "CreateThread");
    return thread;
}
HANDLE WINAPI LedgerCreateMutex(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCSTR name)
{
    HANDLE mutex = nextCreateMutex(security, owned, name);
    if (mutex)
        Enter(KernelObject, Value(mutex), "CreateMutexA");
    return mutex;
}
HANDLE WINAPI LedgerFindFirstFile(LPCSTR pattern, LPWIN32_FIND_DATAA found)
{
    HANDLE search = nextFindFirstFile(pattern, found);
    if (search != INVALID_HANDLE_VALUE)
        Enter(FindHandle, Value(search), "FindFirstFileA");
    return search;
}
INT WINAPI LedgerLZOpenFile(LPSTR path, LPOFSTRUCT info, WORD style)
{
    INT file = nextLZOpenFile(path, info, style);
    if (file >= 0)
        Enter(LzFile, Value(file), "LZOpenFileA");
    return file;
}
// The LZ handle made from a file takes the file's handle over: LZClose
// closes both. A file that is not compressed is its own LZ handle.
INT WINAPI LedgerLZInit(INT file)
{
    INT lz = nextLZInit(file);
    if (lz >= 0 && StrikeOut(KernelObject, Value(file)))
        Enter(LzFile, Value(lz), "LZInit");
    return lz;
}
// Every library the product loads is named by its full path in the system
// folder: a bare name would be looked for beside the program first.
bool InSystemFolder(const char* path)
{
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    return strlen(path) > length && _strnicmp(path, folder, length) == 0 && path[length] == '\\' &&
           !strchr(path + length + 1, '\\');
}
HMODULE WINAPI LedgerLoadLibrary(LPCSTR name)
{
    if (productCalling && !InSystemFolder(name))
        ADD_FAILURE() << "the product loaded " << name << ", not a path in the system folder";
    HMODULE module = nextLoadLibrary(name);
    if (module)
        Enter(Library, Value(module), "LoadLibraryA");
    return module;
}
// The product calls these straight, not through the import table.
HDEVINFO WINAPI LedgerGetClassDevs(const GUID* guid, PCSTR enumerator, HWND parent, DWORD flags)
{
    ProductCall call(__builtin_return_address(0));
    HDEVINFO list = realGetClassDevs(guid, enumerator, parent, flags);
    if (list != INVALID_HANDLE_VALUE)
        Enter(DeviceList, Value(list), "SetupDiGetClassDevsA");
    return list;
}
// The device setup library is loaded at run time: its list calls are handed
// out through the ledger.
FARPROC WINAPI LedgerGetProcAddress(HMODULE module, LPCSTR name)
{
    FARPROC entry = HandOut(nextGetProcAddress(module, name), name, "SetupDiGetClassDevsA", &LedgerGetClassDevs,
                            &realGetClassDevs);
    return HandOut(entry, name, "SetupDiDestroyDeviceInfoList", &CLOSES(DeviceList, realDestroyList),
                   &realDestroyList);
}
HDRVR WINAPI LedgerOpenDriver(LPCWSTR name, LPCWSTR section, LPARAM parameter)
{
    HDRVR driver = nextOpenDriver(name, section, parameter);
    if (driver)
        Enter(Driver, Value(driver), "OpenDriver");
    return driver;
}

// COM objects: the ledger watches every interface of an object that the
// product created, through the QueryInterface and Release entries of each
// interface's method table (patched once per table, for good; calls on
// objects the product did not create pass straight on). The object is gone
// when a Release on any of its interfaces answers 0.
struct MethodTable {
    void** table;
    HRESULT (WINAPI* queryInterface)(IUnknown*, REFIID, void**);
    ULONG (WINAPI* release)(IUnknown*);
};
std::vector<MethodTable> tables;
struct Interface {
    void* pointer;
    uintptr_t object;  // the interface pointer CoCreateInstance gave
};
std::vector<Interface> interfaces;

const MethodTable* FindTable(IUnknown* self)
{
    void** table = *reinterpret_cast<void***>(self);
    for (const MethodTable& t : tables)
        if (t.table == table)
            return &t;
    return nullptr;
}

uintptr_t ObjectOf(void* pointer)
{
    for (const Interface& i : interfaces)
        if (i.pointer == pointer)
            return i.object;
    return 0;
}

void WatchInterface(void* pointer, uintptr_t object);

HRESULT WINAPI LedgerQueryInterface(IUnknown* self, REFIID iid, void** result)
{
    EnterCriticalSection(&lock);
    auto next = FindTable(self)->queryInterface;
    LeaveCriticalSection(&lock);
    HRESULT hr = next(self, iid, result);
    EnterCriticalSection(&lock);
    uintptr_t object = ObjectOf(self);
    if (SUCCEEDED(hr) && *result && object)
        WatchInterface(*result, object);
    LeaveCriticalSection(&lock);
    return hr;
}

ULONG WINAPI LedgerRelease(IUnknown* self)
{
    EnterCriticalSection(&lock);
    auto next = FindTable(self)->release;
    uintptr_t object = ObjectOf(self);
    LeaveCriticalSection(&lock);
    ULONG count = next(self);
    if (count == 0 && object) {
        StrikeOut(ComObject, object);
        EnterCriticalSection(&lock);
        std::erase_if(interfaces, [object](const Interface& i) { return i.object == object; });
        LeaveCriticalSection(&lock);
    }
    return count;
}

// Called with the lock held.
void WatchInterface(void* pointer, uintptr_t object)
{
    if (!ObjectOf(pointer))
        interfaces.push_back({pointer, object});
    auto* self = static_cast<IUnknown*>(pointer);
    if (FindTable(self))
        return;
    void** table = *reinterpret_cast<void***>(self);
    tables.push_back({table, reinterpret_cast<decltype(MethodTable::queryInterface)>(table[0]),
                      reinterpret_cast<decltype(MethodTable::release)>(table[2])});
    WriteImportSlot(&table[0], reinterpret_cast<void*>(LedgerQueryInterface));
    WriteImportSlot(&table[2], reinterpret_cast<void*>(LedgerRelease));
}

HRESULT WINAPI LedgerCoCreateInstance(REFCLSID cls, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    HRESULT hr = nextCoCreateInstance(cls, outer, context, iid, object);
    if (SUCCEEDED(hr) && *object && productCalling) {
        Enter(ComObject, Value(*object), "CoCreateInstance");
        EnterCriticalSection(&lock);
        WatchInterface(*object, Value(*object));
        LeaveCriticalSection(&lock);
    }
    return hr;
}

bool FindProductCode()
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (memcmp(section->Name, ".prodtxt", 8) == 0 && section->Misc.VirtualSize > 0) {
            productStart = Value(base + section->VirtualAddress);
            productSize = section->Misc.VirtualSize;
            return true;
        }
    return false;
}

// The lower hook goes in now, beneath every test's; the upper one above
// everything, for good.
template <auto Lower>
struct Layers {
    using F = decltype(Lower);
    static inline F upperNext;
    static void Install(const char* name, F* lowerNext)
    {
        *lowerNext = reinterpret_cast<F>(ReplaceImport(name, reinterpret_cast<void*>(Lower)));
        auto upper = &UpperHook<F>::template Call<&upperNext>;
        PlaceImportOnTop(name, reinterpret_cast<void*>(upper), reinterpret_cast<void**>(&upperNext));
    }
};

} // namespace

bool InstallHandleLedger()
{
    if (!FindProductCode())
        return false;
    InitializeCriticalSection(&lock);
    Layers<LedgerRegOpenKeyEx>::Install("RegOpenKeyExA", &nextRegOpenKeyEx);
    Layers<LedgerRegCreateKeyEx>::Install("RegCreateKeyExA", &nextRegCreateKeyEx);
    Layers<CLOSES(RegistryKey, nextRegCloseKey)>::Install("RegCloseKey", &nextRegCloseKey);
    Layers<LedgerCreateFile>::Install("CreateFileA", &nextCreateFile);
    Layers<LedgerOpenProcessToken>::Install("OpenProcessToken", &nextOpenProcessToken);
    Layers<LedgerCreateThread>::Install("CreateThread", &nextCreateThread);
    Layers<LedgerCreateMutex>::Install("CreateMutexA", &nextCreateMutex);
    Layers<CLOSES(KernelObject, nextCloseHandle)>::Install("CloseHandle", &nextCloseHandle);
    Layers<LedgerFindFirstFile>::Install("FindFirstFileA", &nextFindFirstFile);
    Layers<CLOSES(FindHandle, nextFindClose)>::Install("FindClose", &nextFindClose);
    Layers<LedgerLZOpenFile>::Install("LZOpenFileA", &nextLZOpenFile);
    Layers<CLOSES(LzFile, nextLZClose)>::Install("LZClose", &nextLZClose);
    Layers<LedgerLZInit>::Install("LZInit", &nextLZInit);
    Layers<LedgerLoadLibrary>::Install("LoadLibraryA", &nextLoadLibrary);
    Layers<CLOSES(Library, nextFreeLibrary)>::Install("FreeLibrary", &nextFreeLibrary);
    Layers<LedgerGetProcAddress>::Install("GetProcAddress", &nextGetProcAddress);
    Layers<LedgerOpenDriver>::Install("OpenDriver", &nextOpenDriver);
    Layers<CLOSES(Driver, nextCloseDriver)>::Install("CloseDriver", &nextCloseDriver);
    Layers<LedgerCoCreateInstance>::Install("CoCreateInstance", &nextCoCreateInstance);
    return true;
}

std::vector<std::string> OpenProductHandles()
{
    EnterCriticalSection(&lock);
    std::vector<std::string> open;
    for (const Entry& e : entries) {
        std::ostringstream text;
        text << e.call << " 0x" << std::hex << e.handle;
        open.push_back(text.str());
    }
    LeaveCriticalSection(&lock);
    return open;
}

void ReportOpenProductHandles()
{
    for (const std::string& open : OpenProductHandles())
        ADD_FAILURE() << "the product left open what " << open << " opened";
    EnterCriticalSection(&lock);
    entries.clear();
    interfaces.clear();
    LeaveCriticalSection(&lock);
}
