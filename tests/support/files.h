// File helpers shared by the unit tests.
#pragma once
#include <windows.h>
#include <fstream>
#include <iterator>
#include <string>

// The bytes of a file, or "<missing>" when it cannot be read.
inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

// The full path of this executable, or of `module`.
inline std::string ModulePath(HMODULE module = nullptr)
{
    char path[MAX_PATH];
    return std::string(path, GetModuleFileNameA(module, path, sizeof path));
}
