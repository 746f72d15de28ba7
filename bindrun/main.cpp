#include <string>
#include <utility>
#include <vector>

#include "bindrun/bindrun.h"
#include "common/file_system.h"
#include "common/program.h"
#include "common/response_file.h"
#include "common/run_tool.h"
#include "common/text_stream.h"

namespace {

const program_about kAbout = {
    "bindrun",
    "Usage: bindrun <link> <rc> <exe_file> <link_rsp_file>\n",
    "Adapts a linker response file for ilink, wlink or another linker: takes the\n"
    "first .res name out of it, runs the linker on the file, then binds the\n"
    "resources into <exe_file> with the binder <rc>.\n",
    4,
    4,
    usage_error::on_standard_error};

int run(int argc, char** argv) {
  if (const auto status = check_command_line(argc, argv, kAbout)) return *status;
  const bind_arguments args{argv[1], argv[2], argv[3], argv[4]};

  std::vector<std::string> lines;
  const load_status loaded = load_lines(args.link_rsp_file, kBindrunMaxLines, &lines);
  if (const char* message = load_failure_message(loaded)) return fail(message, 1);

  const bind_rewrite rewrite = rewrite_for_bind(std::move(lines), args.link);
  const replace_result updated =
      replace_file_text(args.link_rsp_file, response_text(rewrite.lines));
  if (const char* message = update_failure_message(updated)) return fail(message, 1);

  // On Windows the linker and binder get their path in double quotes.
  const int link_status = run_tool(args.link, linker_arguments(args), path_quoting::quoted);
  if (link_status != 0) return link_status;

  const binder_run binder = plan_binder_run(args, rewrite.res_found, rewrite.res_name);
  if (!binder.wanted) return 0;
  const int bind_status = run_tool(binder.arguments[0], binder.arguments, path_quoting::quoted);
  return binder.status_counts ? bind_status : 0;
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}
