#include "base/system_library.h"
#include "base/paths.h"

namespace {

// Not in the headers of every toolchain: "search the system folder only".
constexpr DWORD LoadLibrarySearchSystem32 = 0x00000800;

INT WINAPI NoLzOpenFile(LPSTR, LPOFSTRUCT, WORD) { return LZERROR_BADINHANDLE; }
INT WINAPI NoLzInit(INT) { return LZERROR_BADINHANDLE; }
LONG WINAPI NoLzCopy(INT, INT) { return LZERROR_BADINHANDLE; }
void WINAPI NoLzClose(INT) {}
HDRVR WINAPI NoOpenDriver(LPCWSTR, LPCWSTR, LPARAM) { return nullptr; }
LRESULT WINAPI NoDriverMessage(HDRVR, UINT, LPARAM, LPARAM) { return 0; }
LRESULT WINAPI NoCloseDriver(HDRVR, LPARAM, LPARAM) { return 0; }
HRESULT WINAPI NoCoInitialize(LPVOID) { return CO_E_DLLNOTFOUND; }
HRESULT WINAPI NoCoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object)
{
    *object = nullptr;
    return CO_E_DLLNOTFOUND;
}

bool SystemImportsLoaded;

template <typename F> void** SlotOf(F* slot) { return reinterpret_cast<void**>(slot); }

} // namespace

decltype(&LZOpenFileA) pLZOpenFileA = NoLzOpenFile;
decltype(&LZInit) pLZInit = NoLzInit;
decltype(&LZCopy) pLZCopy = NoLzCopy;
decltype(&LZClose) pLZClose = NoLzClose;
decltype(&OpenDriver) pOpenDriver = NoOpenDriver;
decltype(&SendDriverMessage) pSendDriverMessage = NoDriverMessage;
decltype(&CloseDriver) pCloseDriver = NoCloseDriver;
decltype(&CoInitialize) pCoInitialize = NoCoInitialize;
decltype(&CoCreateInstance) pCoCreateInstance = NoCoCreateInstance;

// Grouped by library, in the order they are loaded.
const std::array<SystemImport, 9> SystemImports = {{
    {"LZ32.DLL", "LZOpenFileA", SlotOf(&pLZOpenFileA)},
    {"LZ32.DLL", "LZInit", SlotOf(&pLZInit)},
    {"LZ32.DLL", "LZCopy", SlotOf(&pLZCopy)},
    {"LZ32.DLL", "LZClose", SlotOf(&pLZClose)},
    {"WINMM.DLL", "OpenDriver", SlotOf(&pOpenDriver)},
    {"WINMM.DLL", "SendDriverMessage", SlotOf(&pSendDriverMessage)},
    {"WINMM.DLL", "CloseDriver", SlotOf(&pCloseDriver)},
    {"OLE32.DLL", "CoInitialize", SlotOf(&pCoInitialize)},
    {"OLE32.DLL", "CoCreateInstance", SlotOf(&pCoCreateInstance)},
}};

bool FormatSystemPath(char* path, const char* fileName)
{
    char directory[MAX_PATH];
    UINT length = GetSystemDirectoryA(directory, sizeof directory);
    // The system folder is a drive root only in odd set-ups; it then ends in
    // its backslash already.
    return length > 0 && length < sizeof directory &&
           FormatText(path, MAX_PATH, directory[length - 1] == '\\' ? "%s%s" : "%s\\%s", directory, fileName);
}

HMODULE LoadSystemLibrary(const char* fileName)
{
    char path[MAX_PATH];
    return FormatSystemPath(path, fileName) ? LoadLibraryA(path) : nullptr;
}

void HardenLibrarySearch()
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (!kernel)
        return;
    using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryProc = BOOL(WINAPI*)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault)
        setDefault(LoadLibrarySearchSystem32);
    auto setDirectory = reinterpret_cast<SetDllDirectoryProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory)
        setDirectory("");
}

void LoadSystemImports()
{
    if (SystemImportsLoaded)
        return;
    SystemImportsLoaded = true;
    const char* library = nullptr;
    HMODULE module = nullptr;
    for (const SystemImport& import : SystemImports) {
        if (!library || !TextEquals(import.Library, library)) {
            library = import.Library;
            module = LoadSystemLibrary(library);
        }
        if (!module)
            continue;
        if (FARPROC entry = GetProcAddress(module, import.Name))
            *import.Slot = reinterpret_cast<void*>(entry);
    }
}
