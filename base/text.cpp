#include "base/text.h"

bool FormatTextV(char* buffer, int size, const char* format, va_list arguments)
{
    if (size <= 0)
        return false;
    char scratch[FormatterLimit + 1];
    int length = wvsprintfA(scratch, format, arguments);
    bool whole = length >= 0 && length < FormatterLimit - 1;
    if (!whole)
        length = lstrlenA(scratch);
    bool fits = whole && length < size;
    int copied = length < size ? length : size - 1;
    for (int i = 0; i < copied; ++i)
        buffer[i] = scratch[i];
    buffer[copied] = '\0';
    return fits;
}

bool FormatText(char* buffer, int size, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    bool fits = FormatTextV(buffer, size, format, arguments);
    va_end(arguments);
    return fits;
}

bool TextEquals(const char* text, const char* other)
{
    while (*text && *text == *other) {
        ++text;
        ++other;
    }
    return *text == *other;
}

bool TextStartsWith(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (*text != *prefix)
            return false;
    return true;
}

int CompareTextNoCase(const char* text, const char* other, int count)
{
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    for (int i = 0; i < count; ++i) {
        int a = fold(static_cast<unsigned char>(text[i]));
        int b = fold(static_cast<unsigned char>(other[i]));
        if (a != b)
            return a < b ? -1 : 1;
        if (a == 0)
            break;
    }
    return 0;
}
