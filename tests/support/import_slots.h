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
