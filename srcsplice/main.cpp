#include <optional>
#include <string>

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

  dependency_list read_files;
  const read_recorder record = [&read_files](const std::string& path) {
    add_dependency(read_files, path);
  };
  splice_outcome outcome = splice_file(src_file, dst_file, depfile ? record : nullptr);
  splice_failure& failure = outcome.failure;
  if (failure == splice_failure::none && depfile)
    failure = write_dependency_file(*depfile, dst_file, read_files);
  if (failure == splice_failure::none) return 0;
  report_fatal(failure_message(failure));
  if (outcome.damaged) report_fatal("Could not restore output file");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}
