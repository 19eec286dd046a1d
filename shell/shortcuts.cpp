// The two shortcut writers: shell links through the shell's link object,
// Internet shortcuts as a short text file.
#include "shell/shortcuts.h"

#include <objbase.h>
#include <shlobj.h>
#include <cstdio>

namespace {

// Releases one interface pointer when the scope ends, on every return path.
template <typename I>
struct ReleaseOnExit {
    I* pointer = nullptr;
    ReleaseOnExit() = default;
    ReleaseOnExit(const ReleaseOnExit&) = delete;
    ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;
    ~ReleaseOnExit()
    {
        if (pointer)
            pointer->Release();
    }
};

} // namespace

HRESULT CreateShortcut(const char* targetPath, const char* linkPath, const char* arguments,
                       const char* description)
{
    // The link file's path is handed to the link object in a 260-unit UTF-16
    // buffer; a longer path is refused before anything is created rather
    // than saved under a cut-off name.
    if (lstrlenA(linkPath) >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

    // Declared link first, file second: the file interface is released first.
    ReleaseOnExit<IShellLinkA> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void**>(&link.pointer));
    if (FAILED(result)) {
        link.pointer = nullptr;  // never release what was not handed out
        return result;
    }

    link.pointer->SetPath(targetPath);
    if (arguments)
        link.pointer->SetArguments(arguments);
    if (description)
        link.pointer->SetDescription(description);

    ReleaseOnExit<IPersistFile> file;
    result = link.pointer->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.pointer));
    if (FAILED(result)) {
        file.pointer = nullptr;
        return result;
    }

    WCHAR widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) == 0) {
        DWORD error = GetLastError();
        return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_FILENAME_EXCED_RANGE);
    }

    result = file.pointer->Save(widePath, TRUE);
    return FAILED(result) ? result : S_OK;
}

void CreateInternetShortcut(const char* filePath, const char* webAddress)
{
    // Text mode turns each "\n" into CR LF and leaves the "\r" after it, so
    // every line ends in CR LF CR: n + 28 bytes for an address of n bytes.
    FILE* file = fopen(filePath, "wt");
    if (!file)
        return;
    fprintf(file, "[InternetShortcut]\n\r");
    fprintf(file, "URL=%s\n\r", webAddress);
    fclose(file);
}
