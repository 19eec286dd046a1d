// szdd-compress INPUT OUTPUT: writes INPUT as a mode-A SZDD file.

#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <vector>

#include "szdd.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: szdd-compress INPUT OUTPUT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "szdd-compress: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<uint8_t> packed;
  try {
    packed = szdd::Compress(data.data(), data.size());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "szdd-compress: %s: %s\n", argv[1], e.what());
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "szdd-compress: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
