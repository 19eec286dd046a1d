#include "dib.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace art {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutInfoHeader(std::vector<std::uint8_t>& out, int width, int height, int bitCount,
                   std::uint32_t compression, std::size_t imageSize, std::size_t colours) {
    Put32(out, kInfoHeaderSize);
    Put32(out, std::uint32_t(width));
    Put32(out, std::uint32_t(height));
    Put16(out, 1);  // planes
    Put16(out, std::uint32_t(bitCount));
    Put32(out, compression);
    Put32(out, std::uint32_t(imageSize));
    Put32(out, 0);  // horizontal resolution: not given
    Put32(out, 0);  // vertical resolution: not given
    Put32(out, std::uint32_t(colours));
    Put32(out, 0);  // all colours important
}

void PutPalette(std::vector<std::uint8_t>& out, const std::vector<Rgb>& palette) {
    for (const Rgb& c : palette) {  // RGBQUAD order: blue, green, red, reserved
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
}

// Bytes per stored row: rows are padded to a 32-bit boundary.
std::size_t Stride(int width, int bitCount) {
    return (std::size_t(width) * std::size_t(bitCount) + 31) / 32 * 4;
}

// Packs one row of indices at 1, 4 or 8 bits per pixel, leftmost pixel in the high bits.
void PackRow(std::vector<std::uint8_t>& out, const std::uint8_t* row, int width, int bitCount) {
    const std::size_t start = out.size();
    out.resize(start + Stride(width, bitCount), 0);
    const int perByte = 8 / bitCount;
    for (int x = 0; x < width; ++x) {
        const int shift = 8 - bitCount * (x % perByte + 1);
        out[start + std::size_t(x / perByte)] |= std::uint8_t(row[x] << shift);
    }
}

void CheckImage(const IndexedImage& image, int maxIndex) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != std::size_t(image.width) * std::size_t(image.height))
        throw std::invalid_argument("image size does not match its pixels");
    for (std::uint8_t p : image.pixels)
        if (p > maxIndex) throw std::invalid_argument("pixel index outside the palette");
}

std::vector<std::uint8_t> FileHeaderAndInfo(const IndexedImage& image, int bitCount,
                                            std::uint32_t compression, std::size_t imageSize,
                                            const std::vector<Rgb>& palette) {
    const std::size_t offBits = kFileHeaderSize + kInfoHeaderSize + 4 * palette.size();
    std::vector<std::uint8_t> out;
    out.reserve(offBits + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, std::uint32_t(offBits + imageSize));
    Put32(out, 0);  // two reserved words
    Put32(out, std::uint32_t(offBits));
    PutInfoHeader(out, image.width, image.height, bitCount, compression, imageSize, palette.size());
    PutPalette(out, palette);
    return out;
}

// Length of the two-colour run starting at `i`: pixels that repeat the pattern
// row[i], row[i+1], row[i], ... which one RLE4 encoded run can draw. Capped at 255.
int PairRunLength(const std::uint8_t* row, int i, int width) {
    int n = 1;
    while (i + n < width && n < 255) {
        if (n >= 2 && row[i + n] != row[i + n - 2]) break;
        ++n;
    }
    return n;
}

void PutEncodedRun(std::vector<std::uint8_t>& out, const std::uint8_t* row, int i, int n) {
    out.push_back(std::uint8_t(n));
    out.push_back(std::uint8_t(row[i] << 4 | (n > 1 ? row[i + 1] : 0)));
}

// Writes pixels [i, i + n) without looking for repeats. Absolute runs need at least
// three pixels (counts 0 to 2 are escapes), so one or two pixels go as an encoded run.
void PutLiteral(std::vector<std::uint8_t>& out, const std::uint8_t* row, int i, int n) {
    while (n > 0) {
        if (n < 3) {
            PutEncodedRun(out, row, i, n);
            return;
        }
        const int count = std::min(n, 255);
        out.push_back(0);
        out.push_back(std::uint8_t(count));
        const int bytes = (count + 1) / 2;
        for (int b = 0; b < bytes; ++b) {
            const std::uint8_t hi = row[i + 2 * b];
            const std::uint8_t lo = 2 * b + 1 < count ? row[i + 2 * b + 1] : 0;
            out.push_back(std::uint8_t(hi << 4 | lo));
        }
        if (bytes % 2) out.push_back(0);  // absolute data ends on a 16-bit boundary
        i += count;
        n -= count;
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeRle4(const IndexedImage& image) {
    CheckImage(image, 15);
    // A run this long is cheaper as an encoded run than inside an absolute run,
    // counting the absolute run it may split in two.
    constexpr int kWorthARun = 4;
    std::vector<std::uint8_t> out;
    for (int y = image.height - 1; y >= 0; --y) {
        const std::uint8_t* row = &image.pixels[std::size_t(y) * image.width];
        int literalStart = 0;
        int x = 0;
        while (x < image.width) {
            const int run = PairRunLength(row, x, image.width);
            if (run >= kWorthARun) {
                PutLiteral(out, row, literalStart, x - literalStart);
                PutEncodedRun(out, row, x, run);
                x += run;
                literalStart = x;
            } else {
                ++x;
            }
        }
        PutLiteral(out, row, literalStart, image.width - literalStart);
        out.push_back(0);  // end of line
        out.push_back(0);
    }
    out.push_back(0);  // end of bitmap
    out.push_back(1);
    return out;
}

std::vector<std::uint8_t> MakeBmp8(const IndexedImage& image, const std::vector<Rgb>& palette) {
    if (palette.empty() || palette.size() > 256)
        throw std::invalid_argument("an 8-bit palette has 1 to 256 entries");
    CheckImage(image, int(palette.size()) - 1);
    const std::size_t imageSize = Stride(image.width, 8) * std::size_t(image.height);
    std::vector<std::uint8_t> out = FileHeaderAndInfo(image, 8, kBiRgb, imageSize, palette);
    for (int y = image.height - 1; y >= 0; --y)
        PackRow(out, &image.pixels[std::size_t(y) * image.width], image.width, 8);
    return out;
}

std::vector<std::uint8_t> MakeBmpRle4(const IndexedImage& image, const std::vector<Rgb>& palette) {
    if (palette.empty() || palette.size() > 16)
        throw std::invalid_argument("a 4-bit palette has 1 to 16 entries");
    CheckImage(image, int(palette.size()) - 1);
    const std::vector<std::uint8_t> stream = EncodeRle4(image);
    std::vector<std::uint8_t> out = FileHeaderAndInfo(image, 4, kBiRle4, stream.size(), palette);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

std::vector<std::uint8_t> MakeIco(const std::vector<IconImage>& images) {
    std::vector<std::vector<std::uint8_t>> bodies;
    for (const IconImage& im : images) {
        const IndexedImage& c = im.colour;
        if (im.bitCount != 1 && im.bitCount != 4)
            throw std::invalid_argument("icon images have 1 or 4 bits per pixel");
        if (im.palette.size() != (std::size_t(1) << im.bitCount) || !(im.palette[0] == Rgb{}))
            throw std::invalid_argument("icon palette must be full and start with black");
        CheckImage(c, (1 << im.bitCount) - 1);
        if (c.width > 255 || c.height > 255 || im.transparent.size() != c.pixels.size())
            throw std::invalid_argument("icon mask does not match the image");

        const std::size_t xorSize = Stride(c.width, im.bitCount) * std::size_t(c.height);
        const std::size_t andSize = Stride(c.width, 1) * std::size_t(c.height);
        std::vector<std::uint8_t> body;
        // The stored height covers both masks, XOR above AND.
        PutInfoHeader(body, c.width, 2 * c.height, im.bitCount, kBiRgb, xorSize + andSize, 0);
        PutPalette(body, im.palette);
        std::vector<std::uint8_t> row(std::size_t(c.width));
        for (int y = c.height - 1; y >= 0; --y) {
            for (int x = 0; x < c.width; ++x) {
                const std::size_t i = std::size_t(y) * c.width + x;
                row[x] = im.transparent[i] ? 0 : c.pixels[i];
            }
            PackRow(body, row.data(), c.width, im.bitCount);
        }
        for (int y = c.height - 1; y >= 0; --y) {
            for (int x = 0; x < c.width; ++x)
                row[x] = im.transparent[std::size_t(y) * c.width + x] ? 1 : 0;
            PackRow(body, row.data(), c.width, 1);
        }
        bodies.push_back(std::move(body));
    }

    std::vector<std::uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // resource type: icon
    Put16(out, std::uint32_t(images.size()));
    std::size_t offset = 6 + 16 * images.size();
    for (std::size_t n = 0; n < images.size(); ++n) {
        const IconImage& im = images[n];
        out.push_back(std::uint8_t(im.colour.width));
        out.push_back(std::uint8_t(im.colour.height));
        out.push_back(std::uint8_t(1 << im.bitCount));  // colour count (below 256 here)
        out.push_back(0);
        Put16(out, 1);  // planes
        Put16(out, std::uint32_t(im.bitCount));
        Put32(out, std::uint32_t(bodies[n].size()));
        Put32(out, std::uint32_t(offset));
        offset += bodies[n].size();
    }
    for (const auto& body : bodies) out.insert(out.end(), body.begin(), body.end());
    return out;
}

namespace {

struct ColourCount {
    Rgb colour;
    std::uint64_t count;
};

std::uint32_t Key(Rgb c) {
    return std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b;
}

int Channel(Rgb c, int ch) {
    return ch == 0 ? c.r : ch == 1 ? c.g : c.b;
}

// Sums that give a set of weighted colours' mean and squared error.
struct Moments {
    double n = 0, s[3] = {0, 0, 0}, sq = 0;
    void Add(const ColourCount& cc) {
        const double w = double(cc.count);
        n += w;
        for (int ch = 0; ch < 3; ++ch) {
            const double v = Channel(cc.colour, ch);
            s[ch] += w * v;
            sq += w * v * v;
        }
    }
    double Error() const { return n > 0 ? sq - (s[0] * s[0] + s[1] * s[1] + s[2] * s[2]) / n : 0; }
};

struct Box {
    std::vector<ColourCount> colours;
    double error = 0;
};

Box MakeBox(std::vector<ColourCount> colours) {
    Moments m;
    for (const auto& cc : colours) m.Add(cc);
    return Box{std::move(colours), m.Error()};
}

// Splits a box along its widest channel at the point that leaves the least
// squared error in the two halves.
std::pair<Box, Box> Split(Box box) {
    int widest = 0, widestRange = -1;
    for (int ch = 0; ch < 3; ++ch) {
        int lo = 255, hi = 0;
        for (const auto& cc : box.colours) {
            lo = std::min(lo, Channel(cc.colour, ch));
            hi = std::max(hi, Channel(cc.colour, ch));
        }
        if (hi - lo > widestRange) widestRange = hi - lo, widest = ch;
    }
    auto& v = box.colours;
    std::sort(v.begin(), v.end(), [widest](const ColourCount& a, const ColourCount& b) {
        const int ca = Channel(a.colour, widest), cb = Channel(b.colour, widest);
        return ca != cb ? ca < cb : Key(a.colour) < Key(b.colour);
    });
    std::vector<Moments> prefix(v.size() + 1);
    for (std::size_t i = 0; i < v.size(); ++i) {
        prefix[i + 1] = prefix[i];
        prefix[i + 1].Add(v[i]);
    }
    const Moments& all = prefix.back();
    std::size_t best = 1;
    double bestError = std::numeric_limits<double>::max();
    for (std::size_t cut = 1; cut < v.size(); ++cut) {
        Moments right;
        right.n = all.n - prefix[cut].n;
        for (int ch = 0; ch < 3; ++ch) right.s[ch] = all.s[ch] - prefix[cut].s[ch];
        right.sq = all.sq - prefix[cut].sq;
        const double e = prefix[cut].Error() + right.Error();
        if (e < bestError) bestError = e, best = cut;
    }
    return {MakeBox({v.begin(), v.begin() + std::ptrdiff_t(best)}),
            MakeBox({v.begin() + std::ptrdiff_t(best), v.end()})};
}

}  // namespace

Quantized Quantize(const std::vector<Rgb>& pixels, int width, int height, int colours) {
    if (colours < 1 || colours > 256 || width <= 0 || height <= 0 ||
        pixels.size() != std::size_t(width) * std::size_t(height))
        throw std::invalid_argument("bad quantizer arguments");

    std::unordered_map<std::uint32_t, std::uint64_t> histogram;
    for (Rgb c : pixels) ++histogram[Key(c)];
    std::vector<ColourCount> distinct;
    for (auto [key, count] : histogram)
        distinct.push_back(
            {Rgb{std::uint8_t(key >> 16), std::uint8_t(key >> 8), std::uint8_t(key)}, count});
    std::sort(distinct.begin(), distinct.end(), [](const ColourCount& a, const ColourCount& b) {
        return Key(a.colour) < Key(b.colour);
    });

    Quantized q;
    if (distinct.size() <= std::size_t(colours)) {
        for (const auto& cc : distinct) q.palette.push_back(cc.colour);
    } else {
        std::vector<Box> boxes{MakeBox(distinct)};
        while (boxes.size() < std::size_t(colours)) {
            auto worst =
                std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) {
                    if (a.colours.size() < 2) return b.colours.size() >= 2;
                    if (b.colours.size() < 2) return false;
                    return a.error < b.error;
                });
            if (worst->colours.size() < 2) break;
            auto [a, b] = Split(std::move(*worst));
            *worst = std::move(a);
            boxes.push_back(std::move(b));
        }
        for (const Box& box : boxes) {
            Moments m;
            for (const auto& cc : box.colours) m.Add(cc);
            q.palette.push_back(Rgb{std::uint8_t(m.s[0] / m.n + 0.5),
                                    std::uint8_t(m.s[1] / m.n + 0.5),
                                    std::uint8_t(m.s[2] / m.n + 0.5)});
        }
    }
    q.palette.resize(std::size_t(colours), Rgb{});

    std::unordered_map<std::uint32_t, std::uint8_t> nearest;
    for (const auto& cc : distinct) {
        int best = 0, bestDistance = std::numeric_limits<int>::max();
        for (std::size_t i = 0; i < q.palette.size(); ++i) {
            const int dr = cc.colour.r - q.palette[i].r, dg = cc.colour.g - q.palette[i].g,
                      db = cc.colour.b - q.palette[i].b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) bestDistance = d, best = int(i);
        }
        nearest[Key(cc.colour)] = std::uint8_t(best);
    }
    q.image = IndexedImage(width, height);
    for (std::size_t i = 0; i < pixels.size(); ++i) q.image.pixels[i] = nearest[Key(pixels[i])];
    return q;
}

}  // namespace art
