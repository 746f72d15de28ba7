#include <optional>
#include <string>

#include "common/file_system.h"
#include "common/program.h"
#include "common/text_stream.h"
#include "srcsplice/depfile.h"
#include "srcsplice/srcsplice.h"

namespace {

// The message of a failure, and the status for the run to end with once
// the destination is closed, so that what was written before the failure
// stays in it.
int report_fatal(const char* message) {
  return fail(std::string("FATAL: ") + message + "\n", 1, std_err());
}

const program_about kAbout = {
    "srcsplice",
    "Usage: srcsplice <srcfile> <dstfile>\n",
    "Copies an assembly source to <dstfile>, replacing each include \"file\" line\n"
    "between ;BEGIN EXPAND INCLUDE and ;END EXPAND INCLUDE by the text of the file;\n"
    "inclusion nests.\n"
    "With --depfile=<depfile> (or --depfile <depfile>) first, a run that succeeds\n"
    "also lists in <depfile> the files it read, as a rule for make and Ninja.\n",
    2,
    2,
    usage_error::on_standard_output};

int run(int argc, char** argv) {
  std::optional<std::string> depfile;
  const int taken = take_depfile_option(argc, argv, &depfile);
  if (const auto status = check_command_line(argc - taken, argv + taken, kAbout)) return *status;
  const std::string src_file = argv[taken + 1];
  const std::string dst_file = argv[taken + 2];

  text_reader source;
  if (!open_reader(source, src_file))
    return report_fatal(failure_message(splice_failure::cannot_open));

  // The new destination is written to a fresh file that replaces the old
  // one only at the end, so every check whether a file is the destination
  // compares with the destination as it was, and a refusal leaves it whole.
  file_id dest_id;
  file_id source_id;
  const bool dest_known = identify_file(dst_file, &dest_id);
  if (dest_known && identify_file(src_file, &source_id) && same_file(source_id, dest_id))
    return report_fatal(failure_message(splice_failure::output_is_input));

  file_replacement replacement;
  text_writer destination;
  const replace_start start = start_replacement(dst_file, replacement, destination);
  // A terminal, a FIFO or a device takes the text as it comes.
  const bool direct = start == replace_start::not_a_file;
  if (start == replace_start::refused || (direct && !open_writer(destination, replacement.target)))
    return report_fatal(failure_message(splice_failure::cannot_open));
  dependency_list read_files;
  add_dependency(read_files, src_file);
  const include_opener open_include =
      recording_include_opener(dest_known ? &dest_id : nullptr, depfile ? &read_files : nullptr);

  splice_failure failure = expand_stream(source, destination, open_include);
  close_reader(source);
  // A refusal, or a file that could not be read whole, leaves the old
  // destination: nothing read from a file that was cut may reach it.  After
  // any other failure the destination keeps what came before the failing
  // line.  Output still buffered then came before it too, so a write
  // failure found now happened first and is the one told.
  replace_result written = replace_result::replaced;
  if (direct) {
    if (!close_writer(destination)) written = replace_result::unchanged;
  } else if (failure == splice_failure::output_is_input || failure == splice_failure::cannot_read) {
    abandon_replacement(replacement, destination);
  } else {
    written = finish_replacement(replacement, destination);
  }
  if (written != replace_result::replaced) failure = splice_failure::write_failed;
  if (failure == splice_failure::none && depfile)
    failure = write_dependency_file(*depfile, dst_file, read_files);
  if (failure == splice_failure::none) return 0;
  report_fatal(failure_message(failure));
  if (written == replace_result::damaged) report_fatal("Could not restore output file");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}
