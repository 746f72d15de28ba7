// Text streams over memory and over small blocks, for tests and fuzz
// targets: short inputs that cross block ends, and output that stays in
// memory.  The streams' own code (common/text_stream.cpp) defines them.
#ifndef KIT_TESTS_SUPPORT_TEST_STREAMS_H_
#define KIT_TESTS_SUPPORT_TEST_STREAMS_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "common/stream_io.h"
#include "common/text_stream.h"

// Reads from bytes held in memory instead of a file.
void open_memory_reader(text_reader& reader, std::string_view bytes);

// open_reader with blocks of block_size bytes (at least kKeptBytes).
bool open_reader_in_blocks(text_reader& reader, const std::string& path, std::size_t block_size);

// The end-of-file indicator of a reader: set only by a line read that found
// no byte, or that met 0x1A.
bool at_eof(const text_reader& reader);

#endif  // KIT_TESTS_SUPPORT_TEST_STREAMS_H_
