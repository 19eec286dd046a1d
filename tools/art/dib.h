// Bitmap and icon file writers for the setup's artwork: device-independent bitmaps
// (8 bits per pixel uncompressed, 4 bits per pixel BI_RLE4), .ico files, and the
// palette reduction that turns a true-colour drawing into palette indices.
// Every multi-byte field is written little-endian, as the Windows formats require.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace art {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// Palette indices, top row first; the writers store the rows bottom-up.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height entries

    IndexedImage() = default;
    IndexedImage(int w, int h, std::uint8_t fill = 0)
        : width(w), height(h), pixels(std::size_t(w) * std::size_t(h), fill) {}
    std::uint8_t& at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
    std::uint8_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// The BI_RLE4 pixel stream of an image whose indices are all below 16: rows
// bottom-up, each closed by the end-of-line escape 00 00, the whole closed by the
// end-of-bitmap escape 00 01.
std::vector<std::uint8_t> EncodeRle4(const IndexedImage& image);

// A complete .bmp file with 8 bits per pixel, uncompressed; the palette (1 to 256
// entries) is written whole and biClrUsed is its size.
std::vector<std::uint8_t> MakeBmp8(const IndexedImage& image, const std::vector<Rgb>& palette);

// A complete .bmp file with 4 bits per pixel, BI_RLE4; biSizeImage is the size of
// the compressed stream. The palette has 1 to 16 entries.
std::vector<std::uint8_t> MakeBmpRle4(const IndexedImage& image, const std::vector<Rgb>& palette);

// One image of an icon. Transparent pixels get a set AND-mask bit and index 0 in
// the colour (XOR) mask, so palette[0] must be black for them to leave the screen
// untouched.
struct IconImage {
    int bitCount = 4;               // 1 or 4
    IndexedImage colour;            // indices below 1 << bitCount
    std::vector<Rgb> palette;       // exactly 1 << bitCount entries
    std::vector<bool> transparent;  // one per pixel, top row first
};

// A complete .ico file holding the images in the given order.
std::vector<std::uint8_t> MakeIco(const std::vector<IconImage>& images);

struct Quantized {
    std::vector<Rgb> palette;  // exactly the requested number of entries
    IndexedImage image;
};

// Reduces a true-colour picture (top row first) to `colours` palette entries. A
// picture with no more distinct colours than that keeps them exactly; otherwise the
// palette comes from a variance-splitting median cut and each pixel takes its
// nearest entry. Unused entries are black.
Quantized Quantize(const std::vector<Rgb>& pixels, int width, int height, int colours);

}  // namespace art
