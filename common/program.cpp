#include "common/program.h"

#include <cstring>
#include <string>

#include "common/text_stream.h"

std::optional<int> answer_standard_option(int argc, char** argv, const program_about& about) {
  if (argc != 2) return std::nullopt;
  std::string answer;
  if (std::strcmp(argv[1], "--help") == 0) {
    answer.append(about.usage).append(about.description);
  } else if (std::strcmp(argv[1], "--version") == 0) {
    answer.append(about.name).append(" (kit) " KIT_VERSION "\n");
  } else {
    return std::nullopt;
  }
  write_text(std_out(), answer);
  // Asked for by a script more often than by a person: an answer lost to a
  // closed output must not pass as given.
  return flush_writer(std_out()) ? 0 : 1;
}

int fail(std::string_view message, int status, text_writer& stream) {
  write_text(stream, message);
  return status;
}
