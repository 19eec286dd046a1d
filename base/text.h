// Text helpers on the platform's own services, so that Setup.exe needs no C
// runtime: formatting through USER32's wvsprintfA and byte-wise comparisons.
#pragma once
#include <windows.h>
#include <stdarg.h>

// wvsprintfA writes at most this many bytes, terminator included.
constexpr int FormatterLimit = 1024;

// Formats into `buffer` of `size` bytes. True when the whole text fits. When
// it does not, `buffer` holds its first size - 1 bytes, terminated: fit for a
// message, never for use as a path. A text of FormatterLimit - 1 characters
// or more may have been cut by the formatter itself and never fits.
// Formats: %s %.Ns %d %u %ld %lu %04ld %08lx %08lX %c.
bool FormatText(char* buffer, int size, const char* format, ...);
bool FormatTextV(char* buffer, int size, const char* format, va_list arguments);

// Byte-for-byte comparisons.
bool TextEquals(const char* text, const char* other);
bool TextStartsWith(const char* text, const char* prefix);
// Compares at most `count` bytes, ASCII letters without regard to case and
// every other byte as it is, as the C locale does; 0 when equal, else the
// sign of the first difference.
int CompareTextNoCase(const char* text, const char* other, int count);
