// What the main files of the programs share: the two options every program
// answers, --help and --version, and the end of a run that failed.
#ifndef KIT_COMMON_PROGRAM_H_
#define KIT_COMMON_PROGRAM_H_

#include <optional>
#include <string_view>

#include "common/text_stream.h"

struct program_about {
  const char* name;
  const char* usage;        // "Usage: ...\n", as the program's usage error writes it
  const char* description;  // a few lines, each ending in a line feed
};

// --help and --version are answered only when one is the whole command
// line: any other command line is the program's own, so a file named
// --help is still reachable as ./--help.
// When argv is the program name and --help or --version alone, writes the
// answer on standard output and returns the exit status: 0, or 1 when the
// answer could not be written.  Otherwise writes nothing and returns none.
std::optional<int> answer_standard_option(int argc, char** argv, const program_about& about);

// Writes message (standard output unless told otherwise) and gives status,
// for the run to end with.
int fail(std::string_view message, int status, text_writer& stream = std_out());

#endif  // KIT_COMMON_PROGRAM_H_
