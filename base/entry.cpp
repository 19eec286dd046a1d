// Setup.exe's start-up without a C runtime: the process entry point, and the
// few memory and text functions the compiler may emit calls to. Linked into Setup.exe
// only; the unit tests run on the C runtime's own start-up.
#include <windows.h>
#include "base/command_line.h"
#include "base/system_library.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int);

extern "C" {

void* memcpy(void* destination, const void* source, size_t count)
{
    auto* to = static_cast<unsigned char*>(destination);
    auto* from = static_cast<const unsigned char*>(source);
    while (count--)
        *to++ = *from++;
    return destination;
}

void* memmove(void* destination, const void* source, size_t count)
{
    auto* to = static_cast<unsigned char*>(destination);
    auto* from = static_cast<const unsigned char*>(source);
    if (to < from) {
        while (count--)
            *to++ = *from++;
    } else {
        while (count--)
            to[count] = from[count];
    }
    return destination;
}

void* memset(void* destination, int value, size_t count)
{
    auto* to = static_cast<unsigned char*>(destination);
    while (count--)
        *to++ = static_cast<unsigned char>(value);
    return destination;
}

int memcmp(const void* first, const void* second, size_t count)
{
    auto* a = static_cast<const unsigned char*>(first);
    auto* b = static_cast<const unsigned char*>(second);
    for (; count--; ++a, ++b)
        if (*a != *b)
            return *a < *b ? -1 : 1;
    return 0;
}

// std::string_view measures a text it is made from with this.
size_t strlen(const char* text)
{
    size_t length = 0;
    while (text[length])
        ++length;
    return length;
}

// The linker gathers the static constructors between these two symbols: a
// -1 first, then the constructors, then a 0.
typedef void (*Constructor)();
extern Constructor __CTOR_LIST__[];

// The process starts here. The command tail is the command line after the
// program's name (quoted or not) and the blanks that follow it.
void SetupEntry()
{
    // Before anything can load a library: none is looked for beside the
    // program where the platform can prevent it.
    HardenLibrarySearch();

    // Run from last to first, as the toolchain's own C runtime does: the
    // linker sorts the list so that constructors of a higher priority
    // (init_priority, the runtime's own) stand later and run first.
    Constructor* last = __CTOR_LIST__ + 1;
    while (*last)
        ++last;
    while (--last > __CTOR_LIST__)
        (*last)();

    auto* tail = const_cast<char*>(SkipProgramName(GetCommandLineA()));

    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, tail, show)));
}

} // extern "C"
