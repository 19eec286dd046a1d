// The two shortcut writers: shell links through the shell's link object,
// Internet shortcuts as a short text file.
#include "shell/shortcuts.h"
#include "base/file_replacement.h"
#include "base/system_library.h"
#include "base/text.h"

#include <objbase.h>
#include <shlobj.h>

namespace {

// The shell's link object and its two interfaces. Defined here rather than
// taken from the uuid library, whose one object file would bring every
// identifier it defines into the image.
constexpr CLSID ShellLinkClassId = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID ShellLinkInterfaceId = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID PersistFileInterfaceId = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

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
    HRESULT result = pCoCreateInstance(ShellLinkClassId, nullptr, CLSCTX_INPROC_SERVER,
                                      ShellLinkInterfaceId, reinterpret_cast<void**>(&link.pointer));
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
    result = link.pointer->QueryInterface(PersistFileInterfaceId, reinterpret_cast<void**>(&file.pointer));
    if (FAILED(result)) {
        file.pointer = nullptr;
        return result;
    }

    // Saved beside the link's name, which it takes only when complete.
    char staged[MAX_PATH];
    SiblingPath(staged, linkPath, '$');
    WCHAR widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, staged, -1, widePath, MAX_PATH) == 0) {
        DWORD error = GetLastError();
        return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_FILENAME_EXCED_RANGE);
    }

    result = file.pointer->Save(widePath, TRUE);
    if (SUCCEEDED(result) && !ReplaceWithStaged(linkPath, staged))
        result = HRESULT_FROM_WIN32(GetLastError());
    if (FAILED(result))
        RemoveFile(staged);
    return FAILED(result) ? result : S_OK;
}

void CreateInternetShortcut(const char* filePath, const char* webAddress)
{
    // Each line is written as "...\n\r" in text mode: the "\n" becomes CR LF
    // and the "\r" after it stays, so every line ends in CR LF CR: n + 28
    // bytes for an address of n bytes. The whole text goes in one write
    // beside the shortcut's name, which it takes only when complete.
    char text[MAX_PATH + 32], bytes[2 * sizeof text];
    if (!FormatText(text, sizeof text, "[InternetShortcut]\n\rURL=%s\n\r", webAddress))
        return;
    DWORD length = 0;
    for (const char* c = text; *c; ++c) {
        if (*c == '\n')
            bytes[length++] = '\r';
        bytes[length++] = *c;
    }
    char staged[MAX_PATH];
    SiblingPath(staged, filePath, '$');
    HANDLE file = CreateFileA(staged, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    bool whole = WriteFile(file, bytes, length, &written, nullptr) && written == length;
    CloseHandle(file);
    if (!whole || !ReplaceWithStaged(filePath, staged))
        RemoveFile(staged);
}
