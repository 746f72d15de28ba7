// The levels of vector instructions the text scans are built for, apart
// from the scans themselves so that the programs' headers need no
// intrinsics.
#ifndef KIT_COMMON_SCAN_LEVEL_H_
#define KIT_COMMON_SCAN_LEVEL_H_

// bytes: no vectors, every byte by the rules one at a time.  Every level
// gives the same results; the tests and fuzz targets compare them.
enum class scan_level { bytes, sse2, avx2, avx512 };

// The widest level this build, processor and system can run.
scan_level best_scan_level();

#endif  // KIT_COMMON_SCAN_LEVEL_H_
