// Helpers shared by the fuzz targets.
#ifndef KIT_FUZZ_FUZZ_SUPPORT_H_
#define KIT_FUZZ_FUZZ_SUPPORT_H_

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_stream.h"
#include "tests/support/test_streams.h"

// A difference from what the rules say: abort, so that libFuzzer keeps the
// input and reports it like a crash.
[[noreturn]] inline void kit_fuzz_fail(const char* what) {
  std::fprintf(stderr, "kit fuzz check failed: %s\n", what);
  std::abort();
}

// The bytes of text, escaped for a report.
inline std::string kit_fuzz_show(std::string_view text) {
  std::string shown = "\"";
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      shown += hex;
    }
  }
  return shown + "\"";
}

inline int kit_fuzz_remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

// A private folder for the files a target needs, made once per process and
// removed when it ends.
inline const std::string& kit_fuzz_scratch() {
  static const std::string path = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kit-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) kit_fuzz_fail("cannot make a scratch folder");
    std::atexit([] {
      ::nftw(kit_fuzz_scratch().c_str(), kit_fuzz_remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    });
    return pattern;
  }();
  return path;
}

inline bool kit_fuzz_write_file(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

// The size of the blocks a target reads a file in, chosen by a byte of its
// input: small, so that the filler that puts a block's end inside the data
// costs little, and of sizes whose ends fall at several bytes of a window.
inline std::size_t kit_fuzz_block_size(std::uint8_t code) {
  const std::size_t past_window[] = {0, 1, 32, 63};
  return kKeptBytes + past_window[code % 4];
}

// The entries a response-file wrapper loads from these bytes: every read
// with the given limit until one yields no line, at most max_entries.
inline std::vector<std::string> kit_fuzz_entries(std::string_view bytes, std::size_t limit,
                                                 std::size_t max_entries) {
  text_reader reader;
  open_memory_reader(reader, bytes);
  std::vector<std::string> entries;
  std::string_view line;
  while (entries.size() < max_entries && read_line(reader, limit, &line))
    entries.emplace_back(line);
  return entries;
}

// Splits bytes at every occurrence of separator.
inline std::vector<std::string> kit_fuzz_split(std::string_view bytes, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t cut = bytes.find(separator, start);
    parts.emplace_back(bytes.substr(start, cut - start));
    if (cut == std::string_view::npos) return parts;
    start = cut + 1;
  }
}

#endif  // KIT_FUZZ_FUZZ_SUPPORT_H_
