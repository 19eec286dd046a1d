// Reads a machine registry value raw, as the platform stores it, for tests
// that check what the product wrote.
#pragma once
#include <windows.h>
#include <string>

inline std::string RawMachineValue(const std::string& path, const char* name, DWORD* type = nullptr)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no key>";
    char data[1024];
    DWORD size = sizeof data;
    LONG r = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? std::string(data, size) : "<no value>";
}
