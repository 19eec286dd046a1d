#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>

#include "dib.h"

using art::IndexedImage;
using art::Rgb;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::uint32_t U16(const Bytes& b, std::size_t at) {
    return b.at(at) | b.at(at + 1) << 8;
}
std::uint32_t U32(const Bytes& b, std::size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

// Decodes a BI_RLE4 stream on its own terms, rejecting anything a strict reader would:
// pixels past the row end, rows left short, absolute runs under three pixels or not
// padded to 16 bits, deltas, a missing end-of-bitmap and bytes after it.
IndexedImage DecodeRle4(const Bytes& s, std::size_t pos, int width, int height,
                        std::string& error) {
    IndexedImage img(width, height, 0xFF);
    int row = 0, x = 0;  // row counts from the bottom of the picture
    auto put = [&](int index) {
        if (row >= height || x >= width) return false;
        img.at(x++, height - 1 - row) = std::uint8_t(index);
        return true;
    };
    while (true) {
        if (pos + 2 > s.size()) return error = "stream ends without end-of-bitmap", img;
        const int a = s[pos], b = s[pos + 1];
        pos += 2;
        if (a > 0) {
            for (int k = 0; k < a; ++k)
                if (!put(k % 2 ? b & 15 : b >> 4)) return error = "encoded run overflows row", img;
        } else if (b == 0) {
            if (x != width) return error = "row ends short at row " + std::to_string(row), img;
            ++row, x = 0;
        } else if (b == 1) {
            if (!(row == height && x == 0) && !(row == height - 1 && x == width))
                return error = "end-of-bitmap before the last row", img;
            if (pos != s.size()) return error = "bytes after end-of-bitmap", img;
            return img;
        } else if (b == 2) {
            return error = "unexpected delta", img;
        } else {
            const std::size_t bytes = (std::size_t(b) + 1) / 2, padded = (bytes + 1) / 2 * 2;
            if (pos + padded > s.size()) return error = "absolute run truncated", img;
            for (int k = 0; k < b; ++k) {
                const int v = s[pos + std::size_t(k) / 2];
                if (!put(k % 2 ? v & 15 : v >> 4)) return error = "absolute run overflows row", img;
            }
            pos += padded;
        }
    }
}

void ExpectRoundTrip(const IndexedImage& img, const std::string& what) {
    const Bytes s = art::EncodeRle4(img);
    std::string error;
    const IndexedImage back = DecodeRle4(s, 0, img.width, img.height, error);
    ASSERT_EQ(error, "") << what;
    EXPECT_EQ(back.pixels, img.pixels) << what;
}

IndexedImage Row(std::vector<std::uint8_t> pixels) {
    IndexedImage img(int(pixels.size()), 1);
    img.pixels = std::move(pixels);
    return img;
}

// Rows mixing solid runs, two-colour alternations and noise, each of random length.
IndexedImage RandomImage(std::mt19937& rng, int width, int height) {
    IndexedImage img(width, height);
    std::size_t i = 0;
    while (i < img.pixels.size()) {
        const int kind = int(rng() % 3), len = 1 + int(rng() % (rng() % 4 ? 12 : 400));
        const std::uint8_t c1 = rng() % 16, c2 = rng() % 16;
        for (int k = 0; k < len && i < img.pixels.size(); ++k, ++i)
            img.pixels[i] = kind == 0   ? c1
                            : kind == 1 ? (k % 2 ? c2 : c1)
                                        : std::uint8_t(rng() % 16);
    }
    return img;
}

std::vector<Rgb> Palette(int n) {
    std::vector<Rgb> p;
    for (int i = 0; i < n; ++i)
        p.push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
    return p;
}

TEST(Rle4, RoundTripsAwkwardShapes) {
    ExpectRoundTrip(Row({7}), "one pixel");
    ExpectRoundTrip(IndexedImage(1, 9, 3), "one-pixel column");
    for (int w : {2, 3, 4, 5, 254, 255, 256, 257, 510, 511, 600}) {
        ExpectRoundTrip(IndexedImage(w, 1, 12), "solid row " + std::to_string(w));
        IndexedImage alt(w, 2);
        for (int x = 0; x < w; ++x) alt.at(x, 0) = x % 2 ? 5 : 10, alt.at(x, 1) = x % 2 ? 15 : 0;
        ExpectRoundTrip(alt, "alternating " + std::to_string(w));
        IndexedImage ramp(w, 1);
        for (int x = 0; x < w; ++x) ramp.at(x, 0) = std::uint8_t(x * 7 % 16);
        ExpectRoundTrip(ramp, "no repeats " + std::to_string(w));
    }
    // Short runs and literals meeting at row ends.
    ExpectRoundTrip(Row({1, 1, 1, 2}), "run then single");
    ExpectRoundTrip(Row({1, 2, 3, 4, 4, 4, 4, 4, 5}), "literal, run, single");
    ExpectRoundTrip(Row({1, 2, 1, 2, 1, 3, 3, 3, 3, 3, 3, 9, 8}), "alternation, run, pair");
}

TEST(Rle4, RandomImagesRoundTrip) {
    std::mt19937 rng(1234);
    for (int n = 0; n < 400; ++n) {
        const int w = n % 10 == 0 ? 250 + int(rng() % 500) : 1 + int(rng() % 64);
        ExpectRoundTrip(RandomImage(rng, w, 1 + int(rng() % 5)),
                        "random image " + std::to_string(n));
    }
}

TEST(Rle4, SolidRowsBecomeEncodedRuns) {
    // Per row: runs of 255, 255 and 90 pixels, then end-of-line; end-of-bitmap last.
    EXPECT_EQ(art::EncodeRle4(IndexedImage(600, 2, 4)).size(), 2 * (3 * 2 + 2) + 2u);
    const Bytes s = art::EncodeRle4(IndexedImage(120, 1, 9));
    EXPECT_EQ(s, (Bytes{120, 0x99, 0, 0, 0, 1}));
}

TEST(Bmp, EightBitHeaderPaletteAndRows) {
    IndexedImage img(293, 100);  // rows of 293 bytes pad to 296
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 293; ++x) img.at(x, y) = std::uint8_t((x * 7 + y * 13) % 196);
    const std::vector<Rgb> pal = Palette(196);
    const Bytes f = art::MakeBmp8(img, pal);

    const std::size_t off = 14 + 40 + 196 * 4;
    ASSERT_EQ(f.size(), off + 296 * 100);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(U32(f, 2), f.size());
    EXPECT_EQ(U32(f, 10), off);
    EXPECT_EQ(U32(f, 14), 40u);
    EXPECT_EQ(U32(f, 18), 293u);
    EXPECT_EQ(U32(f, 22), 100u);  // positive: bottom-up
    EXPECT_EQ(U16(f, 26), 1u);
    EXPECT_EQ(U16(f, 28), 8u);
    EXPECT_EQ(U32(f, 30), 0u);
    EXPECT_EQ(U32(f, 34), 296u * 100);
    EXPECT_EQ(U32(f, 46), 196u);
    EXPECT_EQ(f[54 + 4 * 3 + 0], pal[3].b);
    EXPECT_EQ(f[54 + 4 * 3 + 1], pal[3].g);
    EXPECT_EQ(f[54 + 4 * 3 + 2], pal[3].r);
    for (int y = 0; y < 100; ++y) {
        const std::size_t row = off + std::size_t(99 - y) * 296;
        for (int x = 0; x < 293; ++x) ASSERT_EQ(f[row + x], img.at(x, y)) << x << "," << y;
        EXPECT_EQ(f[row + 293] | f[row + 294] | f[row + 295], 0);
    }
}

TEST(Bmp, Rle4HeaderCountsTheCompressedStream) {
    std::mt19937 rng(99);
    const IndexedImage img = RandomImage(rng, 121, 17);  // odd width
    const Bytes f = art::MakeBmpRle4(img, Palette(16));
    const std::size_t off = 14 + 40 + 16 * 4;
    EXPECT_EQ(U32(f, 2), f.size());
    EXPECT_EQ(U32(f, 10), off);
    EXPECT_EQ(U16(f, 28), 4u);
    EXPECT_EQ(U32(f, 30), 2u);
    EXPECT_EQ(U32(f, 34), f.size() - off);
    EXPECT_EQ(U32(f, 46), 16u);
    std::string error;
    EXPECT_EQ(DecodeRle4(f, off, 121, 17, error).pixels, img.pixels);
    EXPECT_EQ(error, "");
}

// Checks an .ico file's directory and returns each image's offset.
std::vector<std::size_t> CheckIcoDirectory(const Bytes& f, const std::vector<int>& bitCounts) {
    std::vector<std::size_t> offsets;
    EXPECT_EQ(U16(f, 0), 0u);
    EXPECT_EQ(U16(f, 2), 1u);
    EXPECT_EQ(U16(f, 4), bitCounts.size());
    std::size_t expected = 6 + 16 * bitCounts.size();
    for (std::size_t n = 0; n < bitCounts.size(); ++n) {
        const std::size_t e = 6 + 16 * n;
        const int bpp = bitCounts[n];
        const std::size_t size = 40 + (4u << bpp) + 32 * 4 * bpp + 32 * 4;  // 304 or 744
        EXPECT_EQ(f[e], 32);
        EXPECT_EQ(f[e + 1], 32);
        EXPECT_EQ(f[e + 2], 1 << bpp);
        EXPECT_EQ(U16(f, e + 4), 1u);
        EXPECT_EQ(U16(f, e + 6), unsigned(bpp));
        EXPECT_EQ(U32(f, e + 8), size) << "image " << n;
        EXPECT_EQ(U32(f, e + 12), expected) << "image " << n;
        const std::size_t at = U32(f, e + 12);
        EXPECT_EQ(U32(f, at), 40u);
        EXPECT_EQ(U32(f, at + 4), 32u);
        EXPECT_EQ(U32(f, at + 8), 64u);  // colour and AND masks together
        EXPECT_EQ(U16(f, at + 12), 1u);
        EXPECT_EQ(U16(f, at + 14), unsigned(bpp));
        EXPECT_EQ(U32(f, at + 16), 0u);
        offsets.push_back(at);
        expected += size;
    }
    EXPECT_EQ(f.size(), expected);
    return offsets;
}

TEST(Ico, DirectoryAndMasks) {
    std::vector<art::IconImage> images;
    for (int bpp : {1, 4, 4}) {
        art::IconImage im;
        im.bitCount = bpp;
        im.palette = Palette(1 << bpp);
        im.palette[0] = Rgb{};
        im.colour = IndexedImage(32, 32);
        im.transparent.resize(32 * 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                im.colour.at(x, y) = std::uint8_t((x + 3 * y + bpp) % (1 << bpp));
                im.transparent[y * 32 + x] = x < y / 2 || y == 0;  // top row and a wedge at left
            }
        images.push_back(im);
    }
    const Bytes f = art::MakeIco(images);
    const std::vector<std::size_t> offsets = CheckIcoDirectory(f, {1, 4, 4});
    ASSERT_EQ(offsets.size(), 3u);
    for (std::size_t n = 0; n < 3; ++n) {
        const art::IconImage& im = images[n];
        const int bpp = im.bitCount;
        const std::size_t xorAt = offsets[n] + 40 + (4u << bpp), andAt = xorAt + 32 * 4 * bpp;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const bool clear = im.transparent[y * 32 + x];
                const int stored = 31 - y;
                const int andBit = f[andAt + stored * 4 + x / 8] >> (7 - x % 8) & 1;
                const int bit = x * bpp;
                const int index =
                    f[xorAt + stored * 4 * bpp + bit / 8] >> (8 - bpp - bit % 8) & ((1 << bpp) - 1);
                ASSERT_EQ(andBit, clear ? 1 : 0) << n << ": " << x << "," << y;
                ASSERT_EQ(index, clear ? 0 : im.colour.at(x, y)) << n << ": " << x << "," << y;
            }
    }
}

TEST(Quantize, FewColoursStayExact) {
    std::vector<Rgb> px;
    for (int i = 0; i < 40 * 30; ++i)
        px.push_back({std::uint8_t(i % 150), 9, std::uint8_t(i % 150 * 3 / 2)});
    const art::Quantized q = art::Quantize(px, 40, 30, 196);
    ASSERT_EQ(q.palette.size(), 196u);
    for (std::size_t i = 0; i < px.size(); ++i) ASSERT_EQ(q.palette[q.image.pixels[i]], px[i]) << i;
}

TEST(Quantize, ManyColoursTakeTheNearestEntry) {
    std::vector<Rgb> px;  // 4096 distinct colours
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            px.push_back({std::uint8_t(x * 4), std::uint8_t(y * 4), std::uint8_t(x * 2 + y)});
    const art::Quantized q = art::Quantize(px, 64, 64, 196);
    ASSERT_EQ(q.palette.size(), 196u);
    auto dist = [](Rgb a, Rgb b) {
        return (a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) + (a.b - b.b) * (a.b - b.b);
    };
    for (std::size_t i = 0; i < px.size(); ++i) {
        const int chosen = dist(px[i], q.palette[q.image.pixels[i]]);
        for (const Rgb& c : q.palette) ASSERT_LE(chosen, dist(px[i], c)) << i;
        ASSERT_LE(chosen, 3 * 16 * 16) << i;  // 196 boxes over a 256 x 256 plane: small error
    }
}

Bytes ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class MadeArt : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char tmpl[] = "/tmp/make-art-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = std::filesystem::path(tmpl) / "out";  // the tool creates it
        ASSERT_EQ(std::system((std::string(MAKE_ART) + " " + dir.string()).c_str()), 0);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir.parent_path()); }
    static inline std::filesystem::path dir;
};

// Checks a bitmap file's headers: dimensions, depth, compression, palette and sizes.
void CheckBmp(const Bytes& f, unsigned w, unsigned h, unsigned bpp, unsigned compression,
              unsigned colours) {
    ASSERT_GT(f.size(), 54u);
    const std::size_t off = 14 + 40 + 4 * colours;
    EXPECT_EQ(U16(f, 0), 0x4D42u);
    EXPECT_EQ(U32(f, 2), f.size());
    EXPECT_EQ(U32(f, 10), off);
    EXPECT_EQ(U32(f, 14), 40u);
    EXPECT_EQ(U32(f, 18), w);
    EXPECT_EQ(U32(f, 22), h);
    EXPECT_EQ(U16(f, 26), 1u);
    EXPECT_EQ(U16(f, 28), bpp);
    EXPECT_EQ(U32(f, 30), compression);
    EXPECT_EQ(U32(f, 34), f.size() - off);
    EXPECT_EQ(U32(f, 46), colours);
}

TEST_F(MadeArt, BitmapsHaveTheirFormats) {
    const Bytes banner = ReadFile(dir / "banner.bmp"), side = ReadFile(dir / "side.bmp"),
                finish = ReadFile(dir / "finish.bmp");
    CheckBmp(banner, 293, 100, 8, 0, 196);
    EXPECT_EQ(banner.size(), 14 + 40 + 196 * 4 + 296 * 100u);
    CheckBmp(finish, 150, 140, 8, 0, 256);
    EXPECT_EQ(finish.size(), 14 + 40 + 256 * 4 + 152 * 140u);
    CheckBmp(side, 120, 226, 4, 2, 16);
    std::string error;
    const IndexedImage img = DecodeRle4(side, 14 + 40 + 64, 120, 226, error);
    EXPECT_EQ(error, "");
    EXPECT_GE(std::set<std::uint8_t>(img.pixels.begin(), img.pixels.end()).size(), 12u);
}

TEST_F(MadeArt, IconHasMonoThenTwoSixteenColourImages) {
    const Bytes f = ReadFile(dir / "setup.ico");
    ASSERT_GT(f.size(), 6u);
    const std::vector<std::size_t> offsets = CheckIcoDirectory(f, {1, 4, 4});
    for (std::size_t n = 0; n < offsets.size(); ++n) {
        // The AND mask must let the desktop through around the picture but not everywhere.
        const std::size_t andAt = offsets[n] + 40 + (n ? 64 + 512 : 8 + 128);
        int clear = 0;
        for (std::size_t i = 0; i < 128; ++i) clear += std::popcount(unsigned(f[andAt + i]));
        EXPECT_GT(clear, 32) << n;
        EXPECT_LT(clear, 32 * 32 - 256) << n;
    }
}

#ifdef WINDRES
// Compiles the icon as the setup's resource script does and reads the group back:
// images 1, 2 and 3, in file order, with their depths and sizes.
TEST_F(MadeArt, ResourceCompilerNumbersIconImagesInOrder) {
    const auto rc = dir / "icon.rc", res = dir / "icon.res";
    std::ofstream(rc) << "203 ICON \"" << (dir / "setup.ico").string() << "\"\n";
    ASSERT_EQ(
        std::system(
            (std::string(WINDRES) + " -O res -i " + rc.string() + " -o " + res.string()).c_str()),
        0);
    const Bytes r = ReadFile(res), ico = ReadFile(dir / "setup.ico");
    std::map<unsigned, std::uint32_t> iconSizes;
    Bytes group;
    for (std::size_t at = 0; at + 32 <= r.size();) {
        const std::uint32_t dataSize = U32(r, at), headerSize = U32(r, at + 4);
        ASSERT_EQ(U16(r, at + 8), 0xFFFFu) << "numeric type expected";
        const unsigned type = U16(r, at + 10);
        const unsigned name = U16(r, at + 12) == 0xFFFF ? U16(r, at + 14) : 0;
        const std::size_t data = at + headerSize;
        if (type == 3) iconSizes[name] = dataSize;
        if (type == 14 && name == 203)
            group.assign(r.begin() + std::ptrdiff_t(data),
                         r.begin() + std::ptrdiff_t(data + dataSize));
        at = (data + dataSize + 3) / 4 * 4;
    }
    ASSERT_EQ(group.size(), 6 + 3 * 14u);
    EXPECT_EQ(U16(group, 4), 3u);
    for (unsigned n = 0; n < 3; ++n) {
        const std::size_t e = 6 + 14 * n;
        EXPECT_EQ(U16(group, e + 6), n ? 4u : 1u) << n;
        EXPECT_EQ(U16(group, e + 12), n + 1) << n;
        EXPECT_EQ(U32(group, e + 8), U32(ico, 6 + 16 * n + 8)) << n;
        EXPECT_EQ(iconSizes[n + 1], U32(ico, 6 + 16 * n + 8)) << n;
    }
}
#endif

}  // namespace
