// Prints the level of scans that the kit's programs choose on this machine,
// with the same code they choose it with, for the benchmarks to report
// beside each ratio (GLIBC_TUNABLES can mask the wider levels).
#include "common/scan_level.h"

#include <cstdio>

int main() {
  const char* const names[] = {"bytes", "SSE2", "AVX2", "AVX-512BW"};
  std::puts(names[static_cast<int>(best_scan_level())]);
}
