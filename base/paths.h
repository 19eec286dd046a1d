// Paths are composed in MAX_PATH buffers; a path that would not fit is
// refused by its caller, never used cut short.
#pragma once
#include <windows.h>
#include "base/text.h"

// Formats `format` with one text into a MAX_PATH buffer. False when the
// result would not fit: the buffer then holds it cut to 259 bytes (always
// terminated), fit for a message but never for use as a path.
inline bool FormatPath(char* buffer, const char* format, const char* text)
{
    return FormatText(buffer, MAX_PATH, format, text);
}

// `directory` (ending in a backslash) followed by `name`.
inline bool JoinPath(char* buffer, const char* directory, const char* name)
{
    return FormatText(buffer, MAX_PATH, "%s%s", directory, name);
}

// Whether two paths are the same text, ignoring the case of ASCII letters
// as Windows paths do. A double-byte character is compared byte for byte:
// its second byte may look like a letter. (lstrcmpiA compares by the sorting
// rules of the user's locale, not as the file system matches names.)
inline bool SamePath(const char* path, const char* other)
{
    while (*path) {
        const char* next = CharNextA(path);
        if (next - path == 1 ? CompareTextNoCase(path, other, 1) != 0
                             : path[0] != other[0] || path[1] != other[1])
            return false;
        other += next - path;
        path = next;
    }
    return *other == '\0';
}
