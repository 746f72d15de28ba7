// The include expander's rules applied one line read at a time, as plainly
// as they are stated: the oracle that tests hold every level of
// expand_stream to.
#ifndef KIT_TESTS_SUPPORT_SPLICE_ORACLE_H_
#define KIT_TESTS_SUPPORT_SPLICE_ORACLE_H_

#include <map>
#include <string>
#include <string_view>

#include "tests/support/reference_reader.h"

// Whether line starts with prefix, the letters A to Z taken as a to z.
inline bool oracle_begins(std::string_view line, std::string_view prefix) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  if (line.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (fold(line[i]) != fold(prefix[i])) return false;
  return true;
}

// Each line feed of text as CR LF, at the end of *out.
inline void oracle_write(std::string_view text, std::string* out) {
  for (char c : text) *out += c == '\n' ? std::string("\r\n") : std::string(1, c);
}

// Expands bytes into *out, the included files taken from files by name;
// false, with what came before the failing line in *out, when an include
// line cannot be expanded.
inline bool splice_line_by_line(std::string_view bytes,
                                const std::map<std::string, std::string>& files, int depth,
                                std::string* out) {
  reference_reader reader{bytes};
  std::string line;
  bool expanding = false;
  while (reference_read_line(reader, 255, &line)) {
    if (!expanding || !oracle_begins(line, "include")) {
      oracle_write(line, out);
      expanding = expanding ? !oracle_begins(line, ";END EXPAND INCLUDE")
                            : oracle_begins(line, ";BEGIN EXPAND INCLUDE");
      continue;
    }
    // After white space, one byte for the opening quote; the name runs to
    // the next double quote.
    const std::size_t quote = line.find_first_not_of(" \t\n\v\f\r", 7);
    const std::size_t closing =
        line.find('"', quote == std::string::npos ? line.size() : quote + 1);
    if (closing == std::string::npos || closing - quote - 1 > 31 || depth == 64) return false;
    const std::string name = line.substr(quote + 1, closing - quote - 1);
    const auto found = files.find(name);
    if (found == files.end()) return false;
    oracle_write(";---- BEGIN INCLUDED FILE " + name + " ----\n;" + line, out);
    if (!splice_line_by_line(found->second, files, depth + 1, out)) return false;
    oracle_write(";---- END INCLUDED FILE " + name + " ----\n", out);
  }
  return true;
}

#endif  // KIT_TESTS_SUPPORT_SPLICE_ORACLE_H_
