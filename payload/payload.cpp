#include "payload/payload.h"
#include "setup/install_context.h"
#include "setup/message.h"
#include "setup/paths.h"
#include "setup/text.h"
#include "registration/registry.h"
#include "wizard/progress.h"

#include <lzexpand.h>
#include <algorithm>
#include <array>
#include <string_view>

namespace {

// Where one carried file is installed, and on which platforms.
struct CatalogueEntry {
    std::string_view resourceName;  // as stored in the image, upper case
    std::string_view fileName;      // as installed, in mixed case
    char (InstallContext::*directory)[MAX_PATH];
    bool onNt;
    bool on9x;
    DWORD minNtMajorVersion;        // on Windows NT only from this version on
    bool deferredOnUpgrade;         // an in-use driver: replaced at the next restart
};

constexpr std::array<CatalogueEntry, 10> Catalogue = {{
    {"VESK.DLL", "Vesk.Dll", &InstallContext::SystemDir, true, false, 0, true},
    {"VESK.SYS", "Vesk.Sys", &InstallContext::DriversDir, true, false, 0, false},
    {"VESK.INF", "Vesk.Inf", &InstallContext::InfDir, true, true, 5, false},
    {"VESK.DRV", "Vesk.Drv", &InstallContext::SystemDir, false, true, 0, true},
    {"VESK.VXD", "Vesk.VxD", &InstallContext::SystemDir, false, true, 0, true},
    {"VESKASIO.DLL", "VeskASIO.Dll", &InstallContext::SystemDir, false, true, 0, false},
    {"RMVESK.EXE", "RmVesk.exe", &InstallContext::WindowsDir, true, true, 0, false},
    {"MIXER.EXE", "Mixer.exe", &InstallContext::AppDir, true, true, 0, false},
    {"REGISTER.EXE", "Register.exe", &InstallContext::AppDir, true, true, 0, false},
    {"MARLUNERELEASENOTES.TXT", "MarluneReleaseNotes.txt", &InstallContext::AppDir, true, true, 0, false},
}};

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

// Refuses a payload one of whose paths is too long for its buffer, for the
// messages that may name it, or for the LZ library; nothing of it has been
// written.
BOOL RefuseLongPath(const char* resourceName, const char* path)
{
    char text[3 * MAX_PATH];
    FormatText(text, sizeof text, "Unable to install %s: the path\n\n%s\n\nis too long for this setup program!",
               resourceName, path);
    ShowWarning(text, "Path Too Long!");
    return FALSE;
}

// A path of at most this length fits its 260-byte buffer together with every
// failure message that may name it.
constexpr size_t MessagePathLimit = MAX_PATH - 1 - LongestMessageFrame;

// LZOpenFileA keeps the path it opens in its open-file record (OFSTRUCT),
// 128 bytes with the terminator, and fails on any longer path.
constexpr size_t LzPathLimit = OFS_MAXPATHNAME - 1;

// Whether `path` is at most `limit` long; refuses the payload otherwise.
bool PathWithin(const char* resourceName, const char* path, size_t limit)
{
    if (static_cast<size_t>(lstrlenA(path)) <= limit)
        return true;
    RefuseLongPath(resourceName, path);
    return false;
}

// The temporary directory followed by the resource name, with its last
// character replaced by `lastCharacter` unless that is 0: a path that
// LZOpenFileA opens.
bool ComposeTempPath(char* path, const char* resourceName, char lastCharacter)
{
    char composed[2 * MAX_PATH];
    bool whole = FormatText(composed, sizeof composed, "%s%s", Context.TempDir, resourceName);
    int length = lstrlenA(composed);
    if (lastCharacter && whole && length > 0)
        composed[length - 1] = lastCharacter;
    if (!PathWithin(resourceName, composed, LzPathLimit))
        return false;
    lstrcpyA(path, composed);
    return true;
}

// `path` with its last character replaced: a name beside it in its own
// folder, of the same length, so it fits wherever the path fits. Every
// catalogue name ends in an ASCII letter.
void SiblingPath(char* sibling, const char* path, char lastCharacter)
{
    lstrcpyA(sibling, path);
    sibling[lstrlenA(sibling) - 1] = lastCharacter;
}

// The length of the drive ("C:") or network share ("\\server\share") that a
// full path lies on; 0 when it has neither form.
int VolumeRootLength(const char* path)
{
    if (path[0] && path[1] == ':')
        return 2;
    if (path[0] != '\\' || path[1] != '\\')
        return 0;
    int backslashes = 2;
    const char* p = path + 2;
    while (*p && !(*p == '\\' && ++backslashes == 4))
        p = CharNextA(p);
    return static_cast<int>(p - path);
}

bool OnSameVolume(const char* path, const char* other)
{
    int length = VolumeRootLength(path);
    return length > 0 && length == VolumeRootLength(other) && CompareTextNoCase(path, other, length) == 0;
}

// The folder part of `path`, its last backslash included.
void FolderOf(char* folder, const char* path)
{
    lstrcpyA(folder, path);
    char* name = folder;
    for (char* p = folder; *p; p = CharNextA(p))
        if (*p == '\\')
            name = p + 1;
    *name = '\0';
}

// The short (8.3) form of `path`, whose file name is already short: the
// platform's short form of its folder followed by the name. The path as it
// is when the platform cannot give one.
void ShortPath(char* shortPath, const char* path)
{
    char folder[MAX_PATH], shortFolder[MAX_PATH];
    FolderOf(folder, path);
    DWORD length = GetShortPathNameA(folder, shortFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !JoinPath(shortPath, shortFolder, path + lstrlenA(folder)))
        lstrcpyA(shortPath, path);
}

bool IsOwnShortForm(const char* path)
{
    char shortPath[MAX_PATH];
    ShortPath(shortPath, path);
    return SamePath(shortPath, path);
}

// Whether the restart can take a deferred file from the temporary folder. The
// boot-time move of Windows NT only renames (a delayed move cannot copy), so
// the two must be on one drive. Windows 95 and 98 carry out WININIT.INI before
// Windows starts, with short names only and on one drive, so there both paths
// must also be their own short form. Otherwise the file waits for the restart
// in the destination's own folder.
bool RestartTakesFromTemp(const char* destination)
{
    if (!OnSameVolume(Context.TempDir, destination))
        return false;
    return Context.Platform == PlatformNt || (IsOwnShortForm(Context.TempDir) && IsOwnShortForm(destination));
}

// Whether `path` is `prefix` followed by `rest`, `rest` compared as a path.
bool PrefixedPath(const char* path, const char* prefix, const char* rest)
{
    int length = lstrlenA(prefix);
    return CompareTextNoCase(path, prefix, length) == 0 && SamePath(path + length, rest);
}

// Whether Windows NT is already to move `target` onto `destination` at the
// next restart: an earlier run asked for it and was cut off, or the restart
// has not happened yet. The platform records each request anew, and a second
// one would only fail at the restart. The record is pairs of "\??\" paths,
// the new name marked "!" for replace-existing; one too long for the buffer
// is not searched.
bool RestartMovePending(const char* target, const char* destination)
{
    char pending[8192] = {};
    DWORD size = sizeof pending - 2;  // two terminators stay after what is read
    if (!RegReadMachineValue("System\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations",
                             pending, &size))
        return false;
    for (const char* from = pending; *from;) {
        const char* to = from + lstrlenA(from) + 1;
        if (PrefixedPath(from, "\\??\\", target) && PrefixedPath(to, "!\\??\\", destination))
            return true;
        from = to + lstrlenA(to) + 1;
    }
    return false;
}

// Has the platform move `target` onto `destination` at the next restart.
// Neither result is tested: the completion dialog offers the restart either way.
// WININIT.INI holds one line per destination, which a second request replaces.
void ReplaceAtRestart(const char* target, const char* destination, bool fromTemp)
{
    if (Context.Platform == PlatformNt) {
        if (!RestartMovePending(target, destination))
            MoveFileExA(target, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
    } else if (fromTemp) {
        WritePrivateProfileStringA("rename", destination, target, "WININIT.INI");
    } else {
        char shortDestination[MAX_PATH], shortTarget[MAX_PATH];
        ShortPath(shortDestination, destination);
        ShortPath(shortTarget, target);
        WritePrivateProfileStringA("rename", shortDestination, shortTarget, "WININIT.INI");
    }
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
    INT file = LZOpenFileA(destination, &info, OF_WRITE | OF_SHARE_EXCLUSIVE);
    if (file >= 0)
        LZClose(file);
    return file;
}

// Puts the complete expanded file `staged` in the destination's place, so
// that the destination's name always holds the old file or the new one.
// Windows NT replaces it in one step (MoveFileExA). Windows 95 and 98 have no
// MoveFileExA (it fails with ERROR_CALL_NOT_IMPLEMENTED there): the old file
// is renamed aside first and deleted only once the new file is in place, and
// renamed back when the new file cannot be put there. A run cut off between
// the two renames leaves the old file aside, which the next run puts back
// (RecoverLeftovers). Renames within one folder need no room on the drive.
bool ReplaceWithStaged(const char* destination, const char* staged)
{
    if (MoveFileExA(staged, destination, MOVEFILE_REPLACE_EXISTING))
        return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    char aside[MAX_PATH];
    SiblingPath(aside, destination, '~');
    const bool existed = GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES;
    if (existed) {
        SetFileAttributesA(aside, FILE_ATTRIBUTE_NORMAL);  // left by an earlier run
        DeleteFileA(aside);
        if (!MoveFileA(destination, aside))
            return false;
    }
    if (!MoveFileA(staged, destination)) {
        DWORD error = GetLastError();
        if (existed)
            MoveFileA(aside, destination);
        SetLastError(error);
        return false;
    }
    if (existed)
        DeleteFileA(aside);
    return true;
}

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Deletes a file, a read-only one too; a folder of that name stays.
void RemoveFile(const char* path)
{
    if (!IsFile(path))
        return;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}

// Puts back the old driver that a setup of an earlier version copied to the
// temporary folder (VESKOLD.BAK) and deleted, when it was cut off before the
// new driver was in place; otherwise the copy is of no use. The copy goes
// beside the driver first and takes its name only when complete.
void RecoverOldDriverCopy()
{
    char copy[MAX_PATH], driver[MAX_PATH], staged[MAX_PATH];
    if (!JoinPath(copy, Context.TempDir, "VESKOLD.BAK") || !IsFile(copy)
        || !JoinPath(driver, Context.SystemDir, Context.Platform == PlatformNt ? "Vesk.Dll" : "Vesk.Drv"))
        return;
    if (!Exists(driver)) {
        SiblingPath(staged, driver, '$');
        RemoveFile(staged);
        if (!CopyFileA(copy, staged, TRUE) || !MoveFileA(staged, driver))
            return;  // the copy stays, the only one of the old driver
    }
    RemoveFile(copy);
}

} // namespace

void RecoverLeftovers(BOOL upgrade)
{
    // Only the names a run can leave: beside each catalogue destination and,
    // for the compressed copies, in the temporary folder. Whatever else lies
    // there is not ours.
    for (const CatalogueEntry& entry : Catalogue) {
        char destination[MAX_PATH], aside[MAX_PATH];
        if (!JoinPath(destination, Context.*entry.directory, entry.fileName.data()))
            continue;
        // An old file renamed aside: an old copy once the new one is in
        // place, otherwise the only one, which takes its name back.
        SiblingPath(aside, destination, '~');
        if (IsFile(aside) && Exists(destination))
            RemoveFile(aside);
        else if (IsFile(aside))
            MoveFileA(aside, destination);
    }
    RecoverOldDriverCopy();
    // An expanded file beside its destination is partial, unless the
    // restart of an upgrade (the driver still in use) is to move it there:
    // this run then writes it anew.
    for (const CatalogueEntry& entry : Catalogue) {
        char destination[MAX_PATH], staged[MAX_PATH], compressed[MAX_PATH];
        if (JoinPath(destination, Context.*entry.directory, entry.fileName.data())
            && !(entry.deferredOnUpgrade && upgrade)) {
            SiblingPath(staged, destination, '$');
            RemoveFile(staged);
        }
        if (JoinPath(compressed, Context.TempDir, entry.resourceName.data())) {
            compressed[lstrlenA(compressed) - 1] = '$';
            RemoveFile(compressed);
        }
    }
}

BOOL MapPayloadDestination(const char* resourceName, char* destination, BOOL* deferred)
{
    destination[0] = '\0';
    if (IS_INTRESOURCE(resourceName))
        return TRUE;  // a numbered resource is not in the catalogue
    for (const CatalogueEntry& entry : Catalogue) {
        if (entry.resourceName != resourceName)
            continue;
        bool here = Context.Platform == PlatformNt
            ? entry.onNt && Context.OsMajorVersion >= entry.minNtMajorVersion
            : Context.Platform == Platform9x && entry.on9x;
        if (!here)
            continue;
        char composed[2 * MAX_PATH];
        // The catalogue's names are literals: data() is terminated.
        bool whole = FormatText(composed, sizeof composed, "%s%s", Context.*entry.directory,
                                entry.fileName.data());
        if (!whole || lstrlenA(composed) >= MAX_PATH)
            return RefuseLongPath(resourceName, composed);
        lstrcpyA(destination, composed);
        if (entry.deferredOnUpgrade)
            *deferred = Context.Upgrade;
    }
    return TRUE;
}

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
    // was. A deferred file waits in the temporary folder when the restart can
    // move it from there, otherwise beside the destination too.
    char compressed[MAX_PATH], target[MAX_PATH];
    if (!PathWithin(name, destination, deferred ? MessagePathLimit : LzPathLimit)
        || !ComposeTempPath(compressed, name, '$'))
        return FALSE;
    const bool fromTemp = deferred && RestartTakesFromTemp(destination);
    if (fromTemp) {
        if (!ComposeTempPath(target, name, '\0'))
            return FALSE;
    } else if (!PathWithin(name, destination, LzPathLimit)) {
        return FALSE;
    } else {
        SiblingPath(target, destination, '$');
    }

    // The compressed copy, written in one call straight from the resource. A
    // write that returns fewer bytes than asked (a nearly full drive) failed.
    HANDLE file = CreateFileA(compressed, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ReportFailure(CreateCopyFailed, compressed, static_cast<long>(GetLastError()));
    DWORD written = 0;
    BOOL wrote = WriteFile(file, bytes, size, &written, nullptr);
    CloseHandle(file);
    if (!wrote || written != size)
        return ReportFailure(WriteCopyFailed, compressed, static_cast<long>(wrote ? ERROR_DISK_FULL : GetLastError()));

    OFSTRUCT sourceInfo, targetInfo;
    INT sourceFile = LZOpenFileA(compressed, &sourceInfo, OF_READ | OF_SHARE_EXCLUSIVE);
    if (sourceFile < 0)
        return ReportFailure(OpenSourceFailed, compressed, sourceFile);
    SetFileLabel(destination);
    INT targetFile = deferred ? 0 : ProbeDestination(destination);
    if (targetFile >= 0)
        targetFile = LZOpenFileA(target, &targetInfo, OF_CREATE | OF_SHARE_EXCLUSIVE | OF_READWRITE);
    if (targetFile < 0) {
        LZClose(sourceFile);
        return ReportFailure(OpenTargetFailed, destination, targetFile);
    }
    LONG copied = LZCopy(sourceFile, targetFile);
    LZClose(sourceFile);
    LZClose(targetFile);
    if (copied < 0) {
        DeleteFileA(target);  // never a working file, nor one the restart may move
        return ReportFailure(ExpandFailed, destination, copied);
    }
    DeleteFileA(compressed);

    // An in-use driver: the platform moves the expanded file over it at the
    // next restart. Any other file takes the destination's place now.
    if (deferred) {
        ReplaceAtRestart(target, destination, fromTemp);
    } else if (!ReplaceWithStaged(destination, target)) {
        DWORD error = GetLastError();
        DeleteFileA(target);
        return ReportFailure(OpenStampFailed, destination, static_cast<long>(error));
    }
    const char* installed = deferred ? target : destination;

    HANDLE stamped = CreateFileA(installed, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (stamped == INVALID_HANDLE_VALUE)
        return ReportFailure(OpenStampFailed, installed, static_cast<long>(GetLastError()));
    // The bias and daylight-saving state in force now are applied, not those
    // of the stamp's date.
    FILETIME local, universal;
    SystemTimeToFileTime(&ReleaseStamp, &local);
    LocalFileTimeToFileTime(&local, &universal);
    SetFileTime(stamped, &universal, &universal, &universal);
    CloseHandle(stamped);
    return TRUE;
}
