// Which vector instructions the byte scans of the text reader and the line
// counter may use, decided once for both.
#ifndef KIT_COMMON_VECTOR_SCAN_H_
#define KIT_COMMON_VECTOR_SCAN_H_

#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KIT_SCAN_SSE2 1
#include <immintrin.h>
// The wider levels are chosen at run time.  Not on Windows, where GCC does
// not align the stack for the spills of 32- and 64-byte vectors.
#ifndef _WIN32
#define KIT_SCAN_WIDE 1
#endif
#endif

#ifdef __GNUC__
#define KIT_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define KIT_ALWAYS_INLINE inline
#endif

#endif  // KIT_COMMON_VECTOR_SCAN_H_
