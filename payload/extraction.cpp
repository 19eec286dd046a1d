#include "payload/payload.h"
#include "payload/catalogue.h"
#include "base/file_replacement.h"
#include "base/message.h"
#include "base/paths.h"
#include "base/progress_labels.h"
#include "base/system_library.h"
#include "base/text.h"

#include <lzexpand.h>
#include <algorithm>
#include <array>
#include <string_view>

namespace {

// The release's date and version (1.20 Build 024) as the installed files'
// times, in local time; the day of the week is not used.
constexpr SYSTEMTIME ReleaseStamp = {2004, 5, 0, 24, 1, 20, 0, 24};

// The failures of one payload: the text names a path, the caption carries a
// Win32 error code (%08lx) or an LZ error code (%ld).
enum PayloadFailure { CreateCopyFailed, WriteCopyFailed, OpenSourceFailed, OpenTargetFailed, ExpandFailed,
                      OpenStampFailed };

struct FailureMessage {
    std::string_view text;
    std::string_view caption;
};

constexpr std::array<FailureMessage, 6> FailureMessages = {{
    {"Unable to create compressed file '%s'!", "Create File Failure! [%08lx]"},
    {"Unable to write compressed file '%s'!", "Write File Failure! [%08lx]"},
    {"Unable to open source file '%s'!", "File Open Failure! [%ld]"},
    {"Unable to open destination file '%s'!", "File Open Failure! [%ld]"},
    {"Unable to expand file '%s'!", "File Copy Failure! [%ld]"},
    {"Unable to open destination file '%s'!", "Create File Failure! [%08lx]"},
}};

// The longest failure text without its path: a path of a payload must leave
// this much room in a 260-byte message buffer, so that every message that may
// name it fits.
constexpr size_t LongestMessageFrame = std::max_element(
    FailureMessages.begin(), FailureMessages.end(),
    [](const FailureMessage& a, const FailureMessage& b) { return a.text.size() < b.text.size(); })->text.size()
    - 2;

BOOL ReportFailure(PayloadFailure failure, const char* path, long code)
{
    char text[MAX_PATH], caption[MAX_PATH];
    FormatText(text, sizeof text, FailureMessages[failure].text.data(), path);
    FormatText(caption, sizeof caption, FailureMessages[failure].caption.data(), code);
    ShowWarning(text, caption);
    return FALSE;
}

// A path of at most this length fits its 260-byte buffer together with every
// failure message that may name it.
constexpr size_t MessagePathLimit = MAX_PATH - 1 - LongestMessageFrame;

// LZOpenFileA keeps the path it opens in its open-file record (OFSTRUCT),
// 128 bytes with the terminator, and fails on any longer path. Only the
// destination of a file installed now is opened so.
constexpr size_t LzPathLimit = OFS_MAXPATHNAME - 1;

// Whether `path` is at most `limit` long; refuses the payload otherwise.
bool PathWithin(const char* resourceName, const char* path, size_t limit)
{
    if (static_cast<size_t>(lstrlenA(path)) <= limit)
        return true;
    RefuseLongPath(resourceName, path);
    return false;
}

// The temporary folder's name for the resource (TempPath), refused with a
// message when it is too long for the messages that may name it.
bool ComposeTempPath(char* path, const char* resourceName, char lastCharacter)
{
    if (!TempPath(path, resourceName, lastCharacter)) {
        RefuseLongPath(resourceName, path);
        return false;
    }
    return PathWithin(resourceName, path, MessagePathLimit);
}

// LZOpenFileA's answer for the destination opened for writing in place,
// without emptying it: negative when a destination that exists cannot be
// written (read-only, or in use), as its opening for the expansion used to
// fail. A destination that does not exist yet is written anew. The read-only
// attribute is checked first, so that a process that could write the file
// anyway (Wine run by root) keeps to the platform's rule.
INT ProbeDestination(char* destination)
{
    DWORD attributes = GetFileAttributesA(destination);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return HFILE_ERROR;
    OFSTRUCT info;
    INT file = pLZOpenFileA(destination, &info, OF_WRITE | OF_SHARE_EXCLUSIVE);
    if (file >= 0)
        pLZClose(file);
    return file;
}

// A file handle as the LZ library takes it (HFILE). The library tells its
// own handles from file handles by value: Wine's are 0x400 to 0x40F, which a
// file handle of this process, a small multiple of four, does not reach
// while Setup holds a few dozen handles.
INT AsLzFile(HANDLE file)
{
    return static_cast<INT>(reinterpret_cast<INT_PTR>(file));
}

// The release stamp as the file's creation, last-access and last-write time.
// The bias and daylight-saving state in force now are applied, not those of
// the stamp's date. None of the results is tested.
void StampRelease(HANDLE file)
{
    FILETIME local, universal;
    SystemTimeToFileTime(&ReleaseStamp, &local);
    LocalFileTimeToFileTime(&local, &universal);
    SetFileTime(file, &universal, &universal, &universal);
}

} // namespace

BOOL CopyFiles()
{
    if (EnumResourceNamesA(Context.Instance, RT_RCDATA, EnumPayloadProc, 0))
        return TRUE;
    // Also reached when EnumPayloadProc stopped the enumeration after a
    // failed payload, which has been reported already.
    char text[80];
    FormatText(text, sizeof text, "EnumResourceNames [%08lx]", GetLastError());
    ShowWarning(text);
    return FALSE;
}

BOOL CALLBACK EnumPayloadProc(HMODULE, LPCSTR, LPSTR name, LONG_PTR)
{
    BOOL result = FALSE;
    HGLOBAL resource;
    const BYTE* bytes;
    DWORD size;
    if (LoadPayloadResource(name, &resource, &bytes, &size)) {
        result = ExpandPayload(name, bytes, size);
        FreeResource(resource);
    }
    // Every resource offered is counted: installed, skipped or failed.
    SetCounterLabel(++Context.FileCounter);
    return result;
}

int LoadPayloadResource(const char* name, HGLOBAL* handle, const BYTE** bytes, DWORD* size)
{
    HRSRC found = FindResourceA(Context.Instance, name, RT_RCDATA);
    if (!found) {
        char number[16];
        if (IS_INTRESOURCE(name))
            FormatText(number, sizeof number, "#%u", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
        ShowWarning("Cannot Find Resource", IS_INTRESOURCE(name) ? number : name);
        return 0;
    }
    *handle = LoadResource(Context.Instance, found);
    if (!*handle) {
        ShowWarning("Cannot Load Resource");
        return 0;
    }
    *bytes = static_cast<const BYTE*>(LockResource(*handle));
    if (!*bytes) {
        ShowWarning("Cannot Lock Resource");
        FreeResource(*handle);
        return 0;
    }
    *size = SizeofResource(Context.Instance, found);
    return 1;
}

BOOL ExpandPayload(const char* name, const BYTE* bytes, DWORD size)
{
    char destination[MAX_PATH];
    BOOL deferred = FALSE;
    if (!MapPayloadDestination(name, destination, &deferred))
        return FALSE;
    if (!destination[0])
        return TRUE;  // not installed on this platform

    // Every path is composed and checked before anything is written, so a
    // refused payload leaves nothing behind. The destination of a deferred
    // file is only named (in messages and the restart's record), never opened.
    // The expansion goes to a name beside the destination, which replaces it
    // only when complete: a failure (a full drive) leaves the old file as it
    // was. A deferred file is expanded under a name of its own and then put
    // over the one the restart is to move (beside the destination, or on
    // Windows 95 and 98 in the temporary folder when the restart can take it
    // from there), so a restart that an earlier run queued never finds a
    // partial file.
    char compressed[MAX_PATH], expanded[MAX_PATH], queued[MAX_PATH];
    if (!PathWithin(name, destination, deferred ? MessagePathLimit : LzPathLimit)
        || !ComposeTempPath(compressed, name, '$'))
        return FALSE;
    const bool fromTemp = deferred && RestartTakesFromTemp(destination);
    if (!deferred) {
        SiblingPath(expanded, destination, '$');
    } else if (!fromTemp) {
        SiblingPath(queued, destination, Queued);
        SiblingPath(expanded, destination, Expanding);
    } else if (!ComposeTempPath(queued, name, '\0') || !ComposeTempPath(expanded, name, Expanding)) {
        return FALSE;
    }

    // The compressed copy, created by this run and held open, unshared, from
    // its creation to its expansion: nobody else can change it meanwhile, and
    // it is expanded from the handle that wrote it, never opened again by
    // name. Written in one call straight from the resource; a write that
    // returns fewer bytes than asked (a nearly full drive) failed.
    HANDLE copy = CreateOwnFile(compressed, FILE_ATTRIBUTE_TEMPORARY);
    if (copy == INVALID_HANDLE_VALUE)
        return ReportFailure(CreateCopyFailed, compressed, static_cast<long>(GetLastError()));
    DWORD written = 0;
    BOOL wrote = WriteFile(copy, bytes, size, &written, nullptr);
    if (!wrote || written != size) {
        CloseHandle(copy);
        return ReportFailure(WriteCopyFailed, compressed, static_cast<long>(wrote ? ERROR_DISK_FULL : GetLastError()));
    }
    SetFilePointer(copy, 0, nullptr, FILE_BEGIN);
    // From here on the LZ handle owns the copy's handle: LZClose closes both.
    INT source = pLZInit(AsLzFile(copy));
    if (source < 0) {
        CloseHandle(copy);
        return ReportFailure(OpenSourceFailed, compressed, source);
    }
    SetFileLabel(destination);

    // The expansion's target, also created by this run and held unshared
    // until it is complete and stamped.
    INT refused = deferred ? 0 : ProbeDestination(destination);
    HANDLE target = refused < 0 ? INVALID_HANDLE_VALUE : CreateOwnFile(expanded, 0);
    if (target == INVALID_HANDLE_VALUE) {
        pLZClose(source);
        return ReportFailure(OpenTargetFailed, destination, refused < 0 ? refused : LZERROR_BADINHANDLE);
    }
    LONG copied = pLZCopy(source, AsLzFile(target));
    pLZClose(source);
    if (copied < 0) {
        CloseHandle(target);
        DeleteFileA(expanded);  // never a working file, nor one the restart may move
        return ReportFailure(ExpandFailed, destination, copied);
    }
    StampRelease(target);
    CloseHandle(target);
    DeleteFileA(compressed);

    // An in-use driver: the platform moves the queued file over it at the
    // next restart. Any other file takes the destination's place now.
    const char* placed = deferred ? queued : destination;
    if (!ReplaceWithStaged(placed, expanded)) {
        DWORD error = GetLastError();
        DeleteFileA(expanded);
        return ReportFailure(OpenStampFailed, placed, static_cast<long>(error));
    }
    if (deferred)
        ReplaceAtRestart(queued, destination, fromTemp);
    return TRUE;
}
