#include "common/program.h"

#include <cstring>
#include <string>

#include "common/text_stream.h"

namespace {

bool alone(int argc, char** argv, const char* option) {
  return argc == 2 && std::strcmp(argv[1], option) == 0;
}

int answer(const std::string& text) {
  write_text(std_out(), text);
  // Asked for by a script more often than by a person: an answer lost to a
  // closed output must not pass as given.
  return flush_writer(std_out()) ? 0 : 1;
}

}  // namespace

std::optional<int> check_command_line(int argc, char** argv, const program_about& about) {
  if (alone(argc, argv, "--help")) return answer(std::string(about.usage) + about.description);
  if (alone(argc, argv, "--version"))
    return answer(std::string(about.name) + " (kit) " KIT_VERSION "\n");
  const int arguments = argc - 1;
  if (arguments >= about.fewest_arguments &&
      (about.most_arguments < 0 || arguments <= about.most_arguments)) {
    return std::nullopt;
  }
  return about.usage_to == usage_error::on_standard_output ? fail(about.usage, 1)
                                                           : fail(about.usage, -1, std_err());
}

int fail(std::string_view message, int status, text_writer& stream) {
  write_text(stream, message);
  return status;
}
