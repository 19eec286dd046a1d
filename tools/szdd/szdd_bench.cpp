// szdd-bench FILE...: compresses each file with our encoder and with the
// mscompress command, checks that msexpand restores our output, and prints
// sizes, the gain over mscompress and the throughput of both.
//
// Times are CPU time (user + system), which other load on the machine
// disturbs less than wall time. Ours is the best of several in-process runs;
// mscompress's is one run of the command, process start included.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>

#include "szdd.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

int Run(const std::string& command) { return std::system(command.c_str()); }

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

double OwnCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// CPU time of the finished child processes, their own children included.
double ChildrenCpuSeconds() {
  rusage ru;
  getrusage(RUSAGE_CHILDREN, &ru);
  auto sec = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec * 1e-6; };
  return sec(ru.ru_utime) + sec(ru.ru_stime);
}

double MBps(double bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: szdd-bench FILE...\n");
    return 2;
  }
  char dir_template[] = "/tmp/szdd-bench.XXXXXX";
  if (!mkdtemp(dir_template)) {
    std::perror("szdd-bench: mkdtemp");
    return 1;
  }
  const fs::path dir = dir_template;

  std::printf("%-24s %9s %9s %9s %7s %7s %7s %8s %9s %8s %9s\n", "file", "size", "ours", "mscomp",
              "ours%", "msc%", "gain%", "ours ms", "ours MB/s", "msc ms", "msc MB/s");
  double total_size = 0, total_ours = 0, total_msc = 0, time_ours = 0, time_msc = 0;
  double slowest = 1e30;
  bool all_smaller = true, all_restored = true;
  int status = 0;
  for (int a = 1; a < argc; ++a) {
    try {
      const fs::path input = argv[a];
      std::vector<uint8_t> data = ReadFile(input);

      std::vector<uint8_t> ours;
      double best = 1e30, spent = 0;
      for (int run = 0; run < 3 || (spent < 0.3 && run < 50); ++run) {
        double start = OwnCpuSeconds();
        ours = szdd::Compress(data.data(), data.size());
        double t = OwnCpuSeconds() - start;
        best = std::min(best, t);
        spent += t;
      }

      const fs::path ours_file = dir / "ours", restored = dir / "restored";
      WriteFile(ours_file, ours);
      bool restored_ok = Run("msexpand < " + Quote(ours_file) + " > " + Quote(restored)) == 0 &&
                         ReadFile(restored) == data;

      const fs::path copy = dir / "plain";
      WriteFile(copy, data);
      double start = ChildrenCpuSeconds();
      if (Run("mscompress " + Quote(copy)) != 0) throw std::runtime_error("mscompress failed");
      double msc_time = ChildrenCpuSeconds() - start;
      double msc_size = static_cast<double>(fs::file_size(dir / "plain_"));
      fs::remove(dir / "plain_");

      double size = static_cast<double>(data.size()), ours_size = static_cast<double>(ours.size());
      std::printf("%-24s %9.0f %9.0f %9.0f %7.2f %7.2f %7.2f %8.1f %9.1f %8.1f %9.1f%s\n",
                  input.filename().string().substr(0, 24).c_str(), size, ours_size, msc_size,
                  100 * ours_size / size, 100 * msc_size / size,
                  100 * (msc_size - ours_size) / msc_size, 1e3 * best, MBps(size, best),
                  1e3 * msc_time, MBps(size, msc_time),
                  restored_ok ? "" : "  NOT RESTORED BY msexpand");
      total_size += size, total_ours += ours_size, total_msc += msc_size;
      time_ours += best, time_msc += msc_time;
      slowest = std::min(slowest, MBps(size, best));
      all_smaller = all_smaller && ours_size < msc_size;
      all_restored = all_restored && restored_ok;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "szdd-bench: %s: %s\n", argv[a], e.what());
      status = 1;
    }
  }
  fs::remove_all(dir);
  if (total_size == 0) return status;

  std::printf("%-24s %9.0f %9.0f %9.0f %7.2f %7.2f %7.2f %8.1f %9.1f %8.1f %9.1f\n", "TOTAL",
              total_size, total_ours, total_msc, 100 * total_ours / total_size,
              100 * total_msc / total_size, 100 * (total_msc - total_ours) / total_msc,
              1e3 * time_ours, MBps(total_size, time_ours), 1e3 * time_msc,
              MBps(total_size, time_msc));
  std::printf("smaller than mscompress on every file: %s\n", all_smaller ? "yes" : "NO");
  std::printf("restored by msexpand on every file: %s\n", all_restored ? "yes" : "NO");
  std::printf("slowest file: %.1f MB/s\n", slowest);
  return all_restored ? status : 1;
}
