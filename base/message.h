// Failures are told at once in a message box with no owner window.
#pragma once
#include <windows.h>

// MB_OK | MB_ICONWARNING; a null caption gives the platform's default title.
inline void ShowWarning(const char* text, const char* caption = nullptr)
{
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONWARNING);
}
