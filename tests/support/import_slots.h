// The slots of this executable's import address table: every call the image
// makes to an imported function, the product's code included, goes through
// its slot. Free of the test framework, so that test builds of Setup.exe can
// use it too.
#pragma once
#include <windows.h>

// The slot of the import `name` (from any DLL), or null when the image does
// not import it. For the functions the product loads at run time from the
// system folder (SystemImports) it is the product's own slot: every call the
// product makes goes through that one.
void** FindImportSlot(const char* name);
void WriteImportSlot(void** slot, void* value);

// For a GetProcAddress hook: where `found` is the entry point `entry`, keeps
// it in *next and answers `replacement` in its place; otherwise `found`.
template <typename F> FARPROC HandOut(FARPROC found, LPCSTR name, const char* entry, F replacement, F* next)
{
    if (!found || IS_INTRESOURCE(name) || lstrcmpA(name, entry) != 0)
        return found;
    *next = reinterpret_cast<F>(reinterpret_cast<void*>(found));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(replacement));
}
