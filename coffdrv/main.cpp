#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "coffdrv/coffdrv.h"
#include "common/file_system.h"
#include "common/program.h"
#include "common/run_tool.h"
#include "common/text_stream.h"

namespace {

const program_about kAbout = {
    "coffdrv",
    "Usage: coffdrv [options] <mainfile>.exe [objects/libs | @<rspfile>]\n",
    "Links with a GCC tool chain that makes COFF images: collects the options,\n"
    "objects and libraries (found along LIB) into a response file, runs gcc on it,\n"
    "then strip, coff2exe and rm on the image (only coff2exe when an option begins\n"
    "with -g).\n",
    1,
    -1,
    usage_error::on_standard_error};

int report_collect_failure(const link_plan& plan) {
  switch (plan.status) {
    case collect_status::short_main_name:
      return fail("Expecting name of .exe file!\n", -1, std_err());
    case collect_status::response_file_not_opened:
      return fail("Unable to open response file " + plan.failed_argument + "!\n", -1);
    case collect_status::line_break:
      return fail("Unable to pass a line break to gcc!\n", -1);
    case collect_status::out_of_memory:
    case collect_status::ok:
      break;
  }
  return fail("Out of memory!\n", -1);
}

// Links from the finished response file and turns the image into the
// executable.  Only the status of gcc counts; the response file is deleted
// whatever it gave.
int run_tool_chain(const std::string& rsp_name, const link_plan& plan) {
  const int status = run_tool("gcc", {"gcc", "@" + rsp_name});
  remove_file(rsp_name);
  if (status != 0) return status;
  if (!plan.debug_build) run_tool("strip", {"strip", plan.base_name});
  run_tool("coff2exe", {"coff2exe", plan.base_name});
  if (!plan.debug_build) run_tool("rm", {"rm", plan.base_name});
  return 0;
}

int run(int argc, char** argv) {
  if (const auto status = check_command_line(argc, argv, kAbout)) return *status;
  text_writer rsp;
  std::string rsp_name;
  if (!create_unique_file("coffdrv", ".rsp", rsp, &rsp_name)) {
    return fail("Unable to open temporary file!\n", 1);
  }
  link_plan plan = collect_arguments(std::vector<std::string>(argv, argv + argc),
                                     split_lib_path(std::getenv("LIB")));
  try {
    // After a failure the file stays behind with what was collected.
    write_text(rsp, response_file_text(plan));
  } catch (const std::bad_alloc&) {
    plan.status = collect_status::out_of_memory;
  }
  const bool written = close_writer(rsp);
  // What was collected up to a failure stays for whoever looks into it,
  // but for an item that never could have reached gcc.
  if (plan.status == collect_status::line_break) remove_file(rsp_name);
  if (plan.status != collect_status::ok) return report_collect_failure(plan);
  // A truncated response file would link something other than was asked.
  if (!written) {
    remove_file(rsp_name);
    return fail("Unable to write temporary file!\n", 1);
  }
  return run_tool_chain(rsp_name, plan);
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}
