// Round trips through three decoders (ours below, libmspack, msexpand) and
// optimality against an exhaustive parse.

#include <gtest/gtest.h>
#include <mspack.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "szdd.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// Copies of these kinds were decoded (see Expand).
enum Edge : unsigned { kInitial = 1, kOverlap = 2, kWrap = 4, kFar = 8, kLongest = 16 };

struct Expanded {
  Bytes data;
  unsigned edges = 0;
};

// Strict reference decoder: checks the header, that every flag byte is
// followed by at least one item, that no item is cut short and that the
// output has exactly the header's size. Throws on any violation.
Expanded Expand(const Bytes& f) {
  const Bytes header = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33, 'A', 0};
  if (f.size() < szdd::kHeaderSize || !std::equal(header.begin(), header.end(), f.begin())) {
    throw std::runtime_error("bad header");
  }
  const size_t size = f[10] | f[11] << 8 | f[12] << 16 | size_t{f[13]} << 24;
  Expanded out;
  uint8_t ring[4096];
  std::fill(std::begin(ring), std::end(ring), ' ');
  unsigned w = 4080;
  auto put = [&](uint8_t b) { out.data.push_back(ring[w] = b), w = (w + 1) & 0xFFF; };
  for (size_t i = szdd::kHeaderSize; i < f.size();) {
    const uint8_t flags = f[i++];
    if (i == f.size()) throw std::runtime_error("flag byte without items at the end");
    for (int bit = 0; bit < 8 && i < f.size(); ++bit) {
      if (flags >> bit & 1) {
        put(f[i++]);
        continue;
      }
      if (i + 1 >= f.size()) throw std::runtime_error("copy cut short");
      unsigned r = f[i] | (f[i + 1] & 0xF0) << 4, len = (f[i + 1] & 0x0F) + 3;
      i += 2;
      unsigned dist = ((w - r) & 0xFFF) ? (w - r) & 0xFFF : 4096;
      const std::pair<bool, Edge> seen[] = {{out.data.size() < dist, kInitial},
                                            {len > dist, kOverlap},
                                            {r + len > 4096, kWrap},
                                            {dist == 4096, kFar},
                                            {len == 18, kLongest}};
      for (auto [yes, edge] : seen) out.edges |= yes ? edge : 0u;
      for (unsigned k = 0; k < len; ++k) put(ring[(r + k) & 0xFFF]);
    }
  }
  if (out.data.size() != size) throw std::runtime_error("size differs from the header's");
  return out;
}

// Runs an external decoder from file `in` to file `out`, by name.
template <typename Decode>
Bytes ExpandThroughFiles(const Bytes& file, Decode decode) {
  const std::string stem = (fs::temp_directory_path() / "szdd-test-").string() + std::to_string(getpid());
  const std::string in = stem + ".in", out = stem + ".out";
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
  decode(in.c_str(), out.c_str());
  std::ifstream result(out, std::ios::binary);
  Bytes data{std::istreambuf_iterator<char>(result), std::istreambuf_iterator<char>()};
  fs::remove(in), fs::remove(out);
  return data;
}

Bytes MspackExpand(const Bytes& file) {
  return ExpandThroughFiles(file, [](const char* in, const char* out) {
    msszdd_decompressor* d = mspack_create_szdd_decompressor(nullptr);
    msszddd_header* h = d->open(d, in);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->format, MSSZDD_FMT_NORMAL);
    EXPECT_EQ(d->extract(d, h, out), MSPACK_ERR_OK);
    d->close(d, h);
    mspack_destroy_szdd_decompressor(d);
  });
}

Bytes Msexpand(const Bytes& file) {
  return ExpandThroughFiles(file, [](const char* in, const char* out) {
    EXPECT_EQ(std::system((std::string(MSEXPAND " < ") + in + " > " + out).c_str()), 0);
  });
}

// Compresses and checks the result with all three decoders; returns the
// compressed file and the edges our decoder saw.
std::pair<Bytes, unsigned> RoundTrip(const Bytes& input, bool with_msexpand = true) {
  Bytes file = szdd::Compress(input.data(), input.size());
  Expanded ref;
  EXPECT_NO_THROW(ref = Expand(file));
  EXPECT_TRUE(ref.data == input) << "reference decoder";
  EXPECT_TRUE(MspackExpand(file) == input) << "libmspack";
  if (with_msexpand) {
    EXPECT_TRUE(Msexpand(file) == input) << "msexpand";
  }
  return {file, ref.edges};
}

// Smallest possible file, by trying every distance and length at every
// position of the text that the decoder sees (4096 spaces, then the input).
size_t BruteForceSize(const Bytes& input) {
  Bytes text(4096, ' ');
  text.insert(text.end(), input.begin(), input.end());
  const size_t n = input.size();
  std::vector<size_t> bits(n + 1, 0);
  for (size_t i = n; i-- > 0;) {
    bits[i] = 9 + bits[i + 1];
    const size_t p = 4096 + i;
    for (size_t d = 1; d <= 4096; ++d) {
      for (size_t len = 0; len < 18 && i + len < n && text[p - d + len] == text[p + len];) {
        if (++len >= 3) bits[i] = std::min(bits[i], 17 + bits[i + len]);
      }
    }
  }
  return szdd::kHeaderSize + (bits[0] + 7) / 8;
}

Bytes Random(std::mt19937& rng, size_t size, int alphabet = 256, uint8_t base = 0) {
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(base + rng() % alphabet);
  return out;
}

// Input with structure: random and low-entropy runs, byte runs, spaces, and
// repeats of earlier data at any distance (mostly around the ring's size).
Bytes Mixed(std::mt19937& rng, size_t size) {
  Bytes out;
  while (out.size() < size) {
    size_t len = 1 + rng() % 40;
    switch (rng() % 5) {
      case 0: {  // the byte values at both ends of the range sort apart
        Bytes r = Random(rng, len, rng() % 2 ? 256 : 3, rng() % 2 ? 'a' : 0xFD);
        out.insert(out.end(), r.begin(), r.end());
        break;
      }
      case 1: out.insert(out.end(), len * (1 + rng() % 8), static_cast<uint8_t>(rng() % 4 - 2)); break;
      case 2: out.insert(out.end(), len, ' '); break;
      default:
        if (out.empty()) break;
        size_t d = rng() % 2 ? 4090 + rng() % 12 : 1 + rng() % 64;
        d = std::min(d, out.size());
        for (size_t k = 0; k < len; ++k) out.push_back(out[out.size() - d]);
    }
  }
  out.resize(size);
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Str(const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); }

TEST(SzddCompress, RoundTripsAndReachesEveryPartOfTheRing) {
  std::mt19937 rng(7);
  const Bytes r4096 = Random(rng, 4096, 255, 0x21);  // no spaces
  const Bytes r4097 = Random(rng, 4097, 255, 0x21);
  const Bytes r4093 = Random(rng, 4093, 255, 0x21);
  Bytes text;
  const char* words[] = {"driver ", "card ", "the ", "mixer ", "ASIO ", "\r\n", "sample rate "};
  while (text.size() < 100000) {
    const char* w = words[rng() % 7];
    text.insert(text.end(), w, w + std::char_traits<char>::length(w));
  }
  struct Case {
    const char* name;
    Bytes input;
    unsigned edges;       // kinds of copy the parse must contain
    size_t size;          // exact file size, 0 for "not fixed here"
    bool brute_force;     // compare with the exhaustive parse
  };
  const Case cases[] = {
      {"empty", {}, 0, 14, false},
      {"one byte", {'x'}, 0, 16, false},
      {"three spaces", Str("   "), kInitial, 17, true},
      {"spaces over 64 KB", Bytes(100000, ' '), kInitial | kLongest, 14 + (5556 * 17 + 7) / 8, false},
      {"zeros over 64 KB", Bytes(70000, 0), kOverlap | kLongest, 0, false},
      {"block repeated at distance 4096", Cat({r4096, r4096}), kFar | kWrap, 0, true},
      {"block repeated at distance 4097", Cat({r4097, Bytes(r4097.begin(), r4097.begin() + 40)}), 0,
       0, true},
      {"copy straddling the initial spaces",
       Cat({Str("QRSTUVWXYZ"), Bytes(r4093.begin(), r4093.begin() + 200), Str("  QRSTUVWXYZ")}),
       kInitial, 0, true},
      {"last initial spaces at distance 4096", Cat({Str("Q"), r4093, Str("  Q")}), kInitial | kFar, 0,
       true},
      {"spaces once the initial ones left the ring", Cat({r4097, Bytes(40, ' ')}), kOverlap, 0, true},
      {"text", text, kLongest, 0, false},
      {"random", Random(rng, 70000), 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto [file, edges] = RoundTrip(c.input);
    EXPECT_EQ(edges & c.edges, c.edges);
    if (c.size) {
      EXPECT_EQ(file.size(), c.size);
    }
    if (c.brute_force) {
      EXPECT_EQ(file.size(), BruteForceSize(c.input));
    }
  }
}

TEST(SzddCompress, IsOptimalOnStructuredInputs) {
  std::mt19937 rng(11);
  for (int n = 0; n < 150; ++n) {
    // Mostly short inputs; every 15th is past the ring's size.
    Bytes input = Mixed(rng, n % 15 == 14 ? 4000 + rng() % 5000 : rng() % 400);
    SCOPED_TRACE(n);
    EXPECT_EQ(szdd::Compress(input.data(), input.size()).size(), BruteForceSize(input));
  }
}

TEST(SzddCompress, RoundTripsManyMixedInputs) {
  std::mt19937 rng(3);
  for (int n = 0; n < 300; ++n) {
    Bytes input = Mixed(rng, rng() % (n % 10 == 0 ? 70000 : 9000));
    SCOPED_TRACE(n);
    RoundTrip(input, n % 8 == 0);
    if (HasFailure()) break;
  }
}

}  // namespace
