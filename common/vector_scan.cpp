#include "common/vector_scan.h"

#if defined(KIT_SCAN_WIDE) && defined(__GLIBC__) && __has_include(<sys/platform/x86.h>)
// The header is written for C; GCC takes its _Bool in C++ too, clang not.
#ifdef __clang__
#define _Bool bool
#endif
#include <sys/platform/x86.h>
#undef _Bool
#define KIT_CPU_FEATURES 1
#endif

scan_level best_scan_level() {
#ifdef KIT_CPU_FEATURES
  // glibc has asked the processor at start, and says whether the system
  // saves the wide registers too; asking again costs a trap in a virtual
  // machine at every start.
  const bool bits = CPU_FEATURE_ACTIVE(POPCNT) && CPU_FEATURE_ACTIVE(BMI1) &&
                    CPU_FEATURE_ACTIVE(BMI2) && CPU_FEATURE_ACTIVE(LZCNT);
  if (bits && CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW))
    return scan_level::avx512;
  if (bits && CPU_FEATURE_ACTIVE(AVX2)) return scan_level::avx2;
#endif
#ifdef KIT_SCAN_SSE2
  return scan_level::sse2;
#else
  return scan_level::bytes;
#endif
}
