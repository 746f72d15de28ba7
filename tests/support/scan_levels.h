// The levels of the scans that tests and fuzz targets compare.
#ifndef KIT_TESTS_SUPPORT_SCAN_LEVELS_H_
#define KIT_TESTS_SUPPORT_SCAN_LEVELS_H_

#include <vector>

#include "common/scan_level.h"

// Every level this build, processor and system can run, bytes first.
inline std::vector<scan_level> runnable_levels() {
  std::vector<scan_level> levels;
  for (scan_level level :
       {scan_level::bytes, scan_level::sse2, scan_level::avx2, scan_level::avx512}) {
    if (level <= best_scan_level()) levels.push_back(level);
  }
  return levels;
}

inline const char* level_name(scan_level level) {
  const char* const names[] = {"bytes", "SSE2", "AVX2", "AVX-512BW"};
  return names[static_cast<int>(level)];
}

#endif  // KIT_TESTS_SUPPORT_SCAN_LEVELS_H_
