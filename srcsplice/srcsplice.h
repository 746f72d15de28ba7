// srcsplice: copies an assembly source and, inside the regions marked by
// ";BEGIN EXPAND INCLUDE" and ";END EXPAND INCLUDE", replaces each include
// line by the framed text of the file it names, nesting as deep as needed.
#ifndef KIT_SRCSPLICE_SRCSPLICE_H_
#define KIT_SRCSPLICE_SRCSPLICE_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "common/file_system.h"
#include "common/scan_level.h"
#include "common/text_stream.h"

// Longest include name accepted.
const std::size_t kMaxIncludeName = 31;
// Deepest level an included file may sit at; the source is level 0.
const int kMaxIncludeDepth = 64;

// Why an expansion stopped; none when it ran to the end of its input.
enum class splice_failure {
  none,
  cannot_open,
  cannot_read,
  bad_include_line,
  name_too_long,
  nested_too_deeply,
  output_is_input,
  write_failed,
  // Of the dependency file, once the destination is made.
  depfile_not_written,
  depfile_name,
  depfile_clash,
};

// The text reported for a failure (not for none).
const char* failure_message(splice_failure failure);

// Opens an included file for reading, or says why it cannot be read.
using include_opener = std::function<splice_failure(const std::string& name, text_reader& reader)>;

// How a whole run ended: the failure (none when the destination was made),
// and whether a rewrite in place that failed could not put the old
// destination back either.
struct splice_outcome {
  splice_failure failure = splice_failure::none;
  bool damaged = false;
};

// Each file a run reads, the source first, as the path it opened.
using read_recorder = std::function<void(const std::string& path)>;

// Expands the file src_file into the file dst_file.  Included files are
// opened from the working directory, a name missing as written as DOS
// would find it; a device, and the destination as it was before the run
// (which the source must not be either), are refused.  The destination is
// replaced as a whole at the end: a refusal, or a file that could not be
// read whole, leaves it as it was, and after any other failure it keeps
// what came before the failing line.  One that is no plain file (a
// terminal, a FIFO) takes the text as it comes.
splice_outcome splice_file(const std::string& src_file, const std::string& dst_file,
                           const read_recorder& record = nullptr);

// Copies input to output, expanding the include lines of its marked regions
// through open_include.  depth is the nesting level of input.  On a failure
// everything before the failing line has been handed to output; a read that
// fails is a failure, never the end of a file.  Runs of lines that are
// copied unchanged are found with the scans of the level (all give the same
// output).
splice_failure expand_stream(text_reader& input, text_writer& output,
                             const include_opener& open_include, int depth = 0,
                             scan_level level = best_scan_level());

#endif  // KIT_SRCSPLICE_SRCSPLICE_H_
