// The two options every program of the kit answers, --help and --version,
// each only when it is the whole command line: any other command line is
// the program's own, so a file named --help is still reachable as ./--help.
#ifndef KIT_COMMON_STANDARD_OPTIONS_H_
#define KIT_COMMON_STANDARD_OPTIONS_H_

#include <optional>

struct program_about {
  const char* name;
  const char* usage;        // "Usage: ...\n", as the program's usage error writes it
  const char* description;  // a few lines, each ending in a line feed
};

// When argv is the program name and --help or --version alone, writes the
// answer on standard output and returns the exit status: 0, or 1 when the
// answer could not be written.  Otherwise writes nothing and returns none.
std::optional<int> answer_standard_option(int argc, char** argv, const program_about& about);

#endif  // KIT_COMMON_STANDARD_OPTIONS_H_
