// Paths are composed in MAX_PATH buffers; a path that would not fit is
// refused by its caller, never used cut short.
#pragma once
#include <windows.h>
#include "setup/text.h"

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
