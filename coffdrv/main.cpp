#include <cstdlib>
#include <string>
#include <vector>

#include "coffdrv/coffdrv.h"
#include "common/file_system.h"
#include "common/run_tool.h"
#include "common/standard_options.h"
#include "common/text_stream.h"

namespace {

int report_collect_failure(const collect_result& result) {
  switch (result.status) {
    case collect_status::short_main_name:
      write_text(std_err(), "Expecting name of .exe file!\n");
      break;
    case collect_status::out_of_memory:
      write_text(std_out(), "Out of memory!\n");
      break;
    case collect_status::response_file_not_opened:
      write_text(std_out(), "Unable to open response file " + result.argument + "!\n");
      break;
    case collect_status::ok:
      break;
  }
  return -1;
}

// Links from the finished response file and turns the image into the
// executable.  Only the status of gcc counts; the response file is deleted
// whatever it gave.
int run_tool_chain(const std::string& rsp_name, const link_state& state) {
  const int status = run_tool("gcc", {"gcc", "@" + rsp_name});
  remove_file(rsp_name);
  if (status != 0) return status;
  if (!state.debug_build) run_tool("strip", {"strip", state.base_name});
  run_tool("coff2exe", {"coff2exe", state.base_name});
  if (!state.debug_build) run_tool("rm", {"rm", state.base_name});
  return 0;
}

const program_about kAbout = {
    "coffdrv", "Usage: coffdrv [options] <mainfile>.exe [objects/libs | @<rspfile>]\n",
    "Links with a GCC tool chain that makes COFF images: collects the options,\n"
    "objects and libraries (found along LIB) into a response file, runs gcc on it,\n"
    "then strip, coff2exe and rm on the image (only coff2exe when an option begins\n"
    "with -g).\n"};

int run(int argc, char** argv) {
  if (const auto status = answer_standard_option(argc, argv, kAbout)) return *status;
  if (argc < 2) {
    write_text(std_err(), "Usage: coffdrv [options] <mainfile>.exe [objects/libs | @<rspfile>]\n");
    return -1;
  }
  text_writer rsp;
  std::string rsp_name;
  if (!create_unique_file("coffdrv", ".rsp", rsp, &rsp_name)) {
    write_text(std_out(), "Unable to open temporary file!\n");
    return 1;
  }
  link_state state;
  split_lib_path(std::getenv("LIB"), state);
  const collect_result collected =
      collect_arguments(rsp, std::vector<std::string>(argv, argv + argc), state);
  if (collected.status != collect_status::ok) {
    // The response file stays behind with what was collected so far.
    close_writer(rsp);
    return report_collect_failure(collected);
  }
  complete_response_file(rsp, state);
  // A truncated response file would link something other than was asked.
  if (!close_writer(rsp)) {
    remove_file(rsp_name);
    write_text(std_out(), "Unable to write temporary file!\n");
    return 1;
  }
  return run_tool_chain(rsp_name, state);
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}
