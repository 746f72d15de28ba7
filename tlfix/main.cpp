#include <errno.h>

#include <string>
#include <vector>

#include "common/dos_names.h"
#include "common/file_system.h"
#include "common/interrupt.h"
#include "common/program.h"
#include "common/response_file.h"
#include "common/run_tool.h"
#include "common/text_stream.h"
#include "tlfix/tlfix.h"

namespace {

enum class def_outcome { untouched, created, failed };

// Creates the default module-definition file; never over a file that
// appeared meanwhile, and never leaves a half-written one behind.  One made
// meanwhile by another build that found it missing too is that build's:
// this run neither writes nor removes it.
def_outcome create_default_def(const std::string& name) {
  text_writer writer;
  // From the first moment on, an interrupt removes the file, which a later
  // build would link against.
  std::string made;
  if (!make_removed_on_interrupt(
          [&](std::string* path) {
            *path = name;
            return open_writer(writer, name, create_mode::exclusive);
          },
          &made))
    return errno == EEXIST ? def_outcome::untouched : def_outcome::failed;
  write_text(writer, kDefaultDefText);
  if (close_writer(writer)) return def_outcome::created;
  remove_file(name);
  return def_outcome::failed;
}

const program_about kAbout = {
    "tlfix",
    "Usage: tlfix <tlink.exe> <link_rsp_file>\n",
    "Adapts a linker response file for TLINK: moves the first .res name to its end,\n"
    "creates a default .def file when the one named is missing, runs the linker on\n"
    "the file and removes that default .def again after a successful link.\n",
    2,
    2,
    usage_error::on_standard_error};

int run(int argc, char** argv) {
  if (const auto status = check_command_line(argc, argv, kAbout)) return *status;
  const std::string linker = argv[1];
  const std::string rsp_file = argv[2];

  std::vector<std::string> lines;
  if (const char* message = load_failure_message(load_lines(rsp_file, kTlfixMaxLines, &lines))) {
    return fail(message, 1);
  }

  tlfix_rewrite rewrite = rewrite_for_tlink(lines);
  if (const char* message = update_failure_message(replace_file_text(rsp_file, rewrite.text)))
    return fail(message, 1);

  // A response file written for DOS may name the .def in other case or
  // with '\': the file DOS would find is the user's, and no default is made
  // beside it.  A default is made where DOS would make it.
  def_outcome def = def_outcome::untouched;
  folder_listings listings;
  std::string def_path;
  if (rewrite.def_found && !find_dos_name(rewrite.def_name, listings, &def_path)) {
    def = place_dos_name(rewrite.def_name, listings, &def_path) ? create_default_def(def_path)
                                                                : def_outcome::failed;
  }
  if (def == def_outcome::failed) return fail("Unable to create default .DEF file!\n", 1);

  int status = run_tool(linker, {linker, "@" + rsp_file});
  if (status != 0) {
    // A failed link keeps the default .def, for whoever looks into why.
    if (def == def_outcome::created) forget_on_interrupt(def_path);
    return status;
  }
  if (def == def_outcome::created) remove_file(def_path);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}
