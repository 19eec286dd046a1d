// Reads and writes a machine registry value raw, as the platform stores it,
// for tests that check what the product wrote or stage what it finds.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <string>

// Creates the key when missing; fails the test when the value is not stored.
inline void StoreRaw(const std::string& path, const char* name, const std::string& bytes, DWORD type = REG_SZ)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS) << path;
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()),
              ERROR_SUCCESS) << path << " " << name;
    RegCloseKey(key);
}

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

// A value saved now and put back when the scope ends, with its type and
// bytes; removed when it was absent, left alone when it could not be read.
struct SavedValue {
    HKEY root;
    const char* path;
    const char* name;
    DWORD type = REG_NONE, size = sizeof data;
    BYTE data[2048];
    LONG read = RegGetValueA(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size);
    ~SavedValue()
    {
        if (read == ERROR_SUCCESS)
            RegSetKeyValueA(root, path, name, type, data, size);
        else if (read == ERROR_FILE_NOT_FOUND)
            RegDeleteKeyValueA(root, path, name);
    }
};
