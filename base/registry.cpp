#include "base/registry.h"
#include "base/message.h"

namespace {

// A stored value need not carry a terminator, whatever its type: string
// types may be stored without one, and a binary or numeric value stored where
// a text is expected has none at all. Every read is taken as text, so what
// was read is terminated inside the buffer; a value that fills the buffer
// with no room left for the terminator counts as too large for it.
LONG TerminateValue(char* buffer, DWORD size, DWORD count)
{
    if (size == 0)
        return ERROR_SUCCESS;
    if (count < size) {
        buffer[count] = '\0';
        return ERROR_SUCCESS;
    }
    if (buffer[size - 1] == '\0')
        return ERROR_SUCCESS;
    buffer[0] = '\0';
    return ERROR_MORE_DATA;
}

} // namespace

BOOL RegReadValue(HKEY root, const char* subkey, const char* valueName,
                  void* buffer, DWORD* byteCount, DWORD* type)
{
    DWORD size = *byteCount;
    if (size > 0)
        static_cast<char*>(buffer)[0] = '\0';  // a failed read leaves an empty text
    HKEY key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return FALSE;
    LONG result = RegQueryValueExA(key, valueName, nullptr, type,
                                   static_cast<BYTE*>(buffer), byteCount);
    RegCloseKey(key);
    if (result == ERROR_SUCCESS)
        result = TerminateValue(static_cast<char*>(buffer), size, *byteCount);
    else if (size > 0)
        static_cast<char*>(buffer)[0] = '\0';  // never leave a partial, unterminated text
    return result == ERROR_SUCCESS;
}

BOOL RegReadMachineValue(const char* subkey, const char* valueName,
                         void* buffer, DWORD* byteCount)
{
    DWORD type = REG_SZ;
    return RegReadValue(HKEY_LOCAL_MACHINE, subkey, valueName, buffer, byteCount, &type);
}

LONG RegGetString(HKEY root, const char* subkey, const char* valueName, char* buffer)
{
    buffer[0] = '\0';
    HKEY key;
    LONG result = RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &key);
    if (result != ERROR_SUCCESS)
        return result;
    DWORD type = REG_SZ;
    DWORD count = MAX_PATH;
    result = RegQueryValueExA(key, valueName, nullptr, &type,
                              reinterpret_cast<BYTE*>(buffer), &count);
    RegCloseKey(key);
    if (result == ERROR_SUCCESS)
        result = TerminateValue(buffer, MAX_PATH, count);
    else
        buffer[0] = '\0';
    return result;
}

BOOL RegWriteValue(HKEY root, const char* subkey, const char* valueName,
                   const void* data, DWORD byteCount, DWORD type)
{
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return FALSE;
    if (RegSetValueExA(key, valueName, 0, type, static_cast<const BYTE*>(data), byteCount)
        != ERROR_SUCCESS) {
        ShowWarning("RegSetValueEx Failed!", valueName);
        RegCloseKey(key);
        return FALSE;
    }
    RegFlushKey(key);
    RegCloseKey(key);
    return TRUE;
}

BOOL RegWriteString(HKEY root, const char* subkey, const char* valueName, const char* text)
{
    return RegWriteValue(root, subkey, valueName, text, lstrlenA(text) + 1, REG_SZ);
}

BOOL RegWriteMachineString(const char* subkey, const char* valueName, const char* text)
{
    return RegWriteString(HKEY_LOCAL_MACHINE, subkey, valueName, text);
}

BOOL RegWriteMachineBinary(const char* subkey, const char* valueName, DWORD value)
{
    return RegWriteValue(HKEY_LOCAL_MACHINE, subkey, valueName, &value, sizeof value, REG_BINARY);
}

BOOL RegRemoveValue(HKEY root, const char* subkey, const char* valueName)
{
    HKEY key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return FALSE;
    BOOL deleted = RegDeleteValueA(key, valueName) == ERROR_SUCCESS;
    RegFlushKey(key);
    RegCloseKey(key);
    return deleted;
}
