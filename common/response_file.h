// Loading a linker response file as a table of lines.
#ifndef KIT_COMMON_RESPONSE_FILE_H_
#define KIT_COMMON_RESPONSE_FILE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "common/file_system.h"
#include "common/text_stream.h"

// Reads of a response file hold at most this many bytes less one; a longer
// line comes as several entries.
const std::size_t kResponseLineLimit = 2048;

enum class load_status { ok, cannot_open, out_of_memory, too_many_lines };

// Opens a response file for reading.  A device (a terminal, /dev/zero) is
// refused like a file that cannot be opened: no build means one, and some
// never end.
bool open_response_file(text_reader& reader, const std::string& path);

// Reads every line (or piece of a line) of path into *lines, in order, until
// a read yields no line.  The load fails as soon as there are more than
// max_lines entries.  A read that fails part-way fails the load like a file
// that cannot be opened: a shortened file must not pass for the whole.
load_status load_lines(const std::string& path, std::size_t max_lines,
                       std::vector<std::string>* lines);

// The message a response-file wrapper prints for a failed load; none for ok.
const char* load_failure_message(load_status status);

// The message a response-file wrapper prints when the file it rewrote could
// not be replaced; none when it was.
const char* update_failure_message(replace_result result);

#endif  // KIT_COMMON_RESPONSE_FILE_H_
