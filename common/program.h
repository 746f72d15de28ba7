// What the main files of the programs share: the two options every program
// answers, --help and --version, and the end of a run that failed.
#ifndef KIT_COMMON_PROGRAM_H_
#define KIT_COMMON_PROGRAM_H_

#include <optional>
#include <string_view>

#include "common/text_stream.h"

// Where a program writes its usage line, and the status it then ends with.
enum class usage_error { on_standard_output, on_standard_error };

struct program_about {
  const char* name;
  const char* usage;        // "Usage: ...\n", the line of the usage error
  const char* description;  // a few lines, each ending in a line feed
  int fewest_arguments;     // after the program name
  int most_arguments;       // -1: no limit
  usage_error usage_to;     // on standard output with status 1, else on standard error with -1
};

// Deals with the command lines that are not the program's work: --help or
// --version alone (answered on standard output: status 0, or 1 when the
// answer could not be written), and a wrong number of arguments (the usage
// line).  Any other command line is the program's own, so a file named
// --help is still reachable as ./--help: none is returned and nothing
// written.
std::optional<int> check_command_line(int argc, char** argv, const program_about& about);

// Writes message (standard output unless told otherwise) and gives status,
// for the run to end with.
int fail(std::string_view message, int status, text_writer& stream = std_out());

#endif  // KIT_COMMON_PROGRAM_H_
