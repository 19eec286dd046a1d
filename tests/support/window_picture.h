// A window as the screen shows it, saved as a 24-bit .bmp file: the robot's
// pictures of each dialog and the wizard tests' pictures for the
// documentation. Also the text of any window, of this process or another.
#pragma once
#include <windows.h>
#include <cstdio>
#include <string>

inline std::string WindowText(HWND window)
{
    char text[2048] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline bool SaveWindowPicture(HWND window, const std::string& path)
{
    RECT r;
    GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    FILE* out = width > 0 && height > 0 ? fopen(path.c_str(), "wb") : nullptr;
    if (!out)
        return false;
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB};
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    void* bits;
    HBITMAP picture = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                       &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    DWORD pixels = (width * 3 + 3) / 4 * 4 * height;
    BITMAPFILEHEADER file = {0x4D42, DWORD(sizeof file + sizeof info + pixels), 0, 0,
                             sizeof file + sizeof info};
    fwrite(&file, sizeof file, 1, out);
    fwrite(&info, sizeof info, 1, out);
    fwrite(bits, pixels, 1, out);
    fclose(out);
    SelectObject(memory, old);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return true;
}
