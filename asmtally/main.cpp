#include <string>

#include "asmtally/asmtally.h"
#include "common/program.h"
#include "common/text_stream.h"

namespace {

const program_about kAbout = {
    "asmtally",
    "Usage: asmtally <filename>\n",
    "Counts the total, comment and blank lines of a source file: ; comments for a\n"
    "name ending in .asm, /* */ comments for any other name.\n",
    1,
    1,
    usage_error::on_standard_output};

int run(int argc, char** argv) {
  if (const auto status = check_command_line(argc, argv, kAbout)) return *status;
  const std::string file_name = argv[1];

  text_reader reader;
  if (!open_reader(reader, file_name)) return fail("Unable to open input file\n", 1);

  line_tally tally;
  // A failed read would leave the counts short; a build must not take them
  // for the file's.
  if (!count_lines(reader, is_assembly_name(file_name), &tally)) {
    return fail("Unable to read input file\n", 1);
  }

  write_text(std_out(), format_report(tally));
  // A report lost to a full disk or a closed output must not pass as made.
  return flush_writer(std_out()) ? 0 : fail("Unable to write report\n", 1, std_err());
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}
