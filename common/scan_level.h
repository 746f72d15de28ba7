// What the programs' headers need of the text scans, apart from the scans
// themselves so that they need no intrinsics: the levels of vector
// instructions the scans are built for, and the piece limit of the lines
// they scan.
#ifndef KIT_COMMON_SCAN_LEVEL_H_
#define KIT_COMMON_SCAN_LEVEL_H_

#include <cstddef>

// bytes: no vectors, every byte by the rules one at a time.  Every level
// gives the same results; the tests and fuzz targets compare them.
enum class scan_level { bytes, sse2, avx2, avx512 };

// The widest level this build, processor and system can run.
scan_level best_scan_level();

// Source lines are read in pieces of at most this many bytes less one, by
// the line reads and the windows of the counter and the expander alike.
const std::size_t kSourceLineLimit = 255;

#endif  // KIT_COMMON_SCAN_LEVEL_H_
