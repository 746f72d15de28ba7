// The DOS read rules one byte at a time, written as plainly as can be: the
// reference that tests and fuzz targets hold the reader and the fast paths
// of the counter and the expander to.
#ifndef KIT_TESTS_SUPPORT_REFERENCE_READER_H_
#define KIT_TESTS_SUPPORT_REFERENCE_READER_H_

#include <cstddef>
#include <string>
#include <string_view>

struct reference_reader {
  std::string_view bytes;
  std::size_t at = 0;  // the next byte to take
  bool eof = false;    // the end-of-file indicator
};

// The next byte delivered; -1 at the end of the bytes or at a 0x1A.
inline int reference_byte(reference_reader& reader) {
  if (reader.at == reader.bytes.size()) return -1;
  char c = reader.bytes[reader.at++];
  if (c == '\r') {
    if (reader.at == reader.bytes.size()) return -1;
    c = reader.bytes[reader.at++];  // not tested for a carriage return again
  }
  return c == 0x1a ? -1 : static_cast<unsigned char>(c);
}

// One line read with a limit: false, with *line empty, when the end or a
// 0x1A came before any byte.
inline bool reference_read_line(reference_reader& reader, std::size_t limit, std::string* line) {
  line->clear();
  while (line->size() + 1 < limit) {
    const int c = reference_byte(reader);
    if (c < 0) {
      reader.eof = true;
      break;
    }
    *line += static_cast<char>(c);
    if (c == '\n') break;
  }
  return !line->empty();
}

#endif  // KIT_TESTS_SUPPORT_REFERENCE_READER_H_
