// SZDD (mode A) compression for the payload files that Setup.exe carries and
// expands with the platform's LZ library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace szdd {

// Signature, mode byte, last-character byte and 32-bit expanded size.
inline constexpr size_t kHeaderSize = 14;

// Returns a complete SZDD file (header and mode-A stream) that expands to
// exactly `size` bytes of `data`. The parse is optimal: no mode-A stream for
// this input is shorter. The stream ends with its last item (no empty flag
// byte). Throws std::length_error when the size does not fit the header.
std::vector<uint8_t> Compress(const uint8_t* data, size_t size);

}  // namespace szdd
