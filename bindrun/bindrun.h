// bindrun: takes the resource name out of a linker response file, runs the
// chosen linker on it and then binds the resources into the executable.
#ifndef KIT_BINDRUN_BINDRUN_H_
#define KIT_BINDRUN_BINDRUN_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The most lines (or pieces of lines) a response file may hold.
const std::size_t kBindrunMaxLines = 999;

// The four arguments, in the order of the usage line.
struct bind_arguments {
  std::string link;
  std::string rc;
  std::string exe_file;
  std::string link_rsp_file;
};

struct bind_rewrite {
  std::vector<std::string> lines;  // the entries rewritten; emptied ones stay, empty
  bool res_found = false;
  std::string res_name;
};

// Takes the first name ending in ".res" out of the entries, together with the
// separator that joined it to its neighbours, and for ilink and wlink removes
// the continuation character that led up to it from the entry before.
bind_rewrite rewrite_for_bind(std::vector<std::string> lines, const std::string& link);

// The new content of the response file: the entries that still hold text.
std::string response_text(const std::vector<std::string>& lines);

// The linker's argument vector; element 0 is the linker itself.
std::vector<std::string> linker_arguments(const bind_arguments& args);

struct binder_run {
  bool wanted = false;
  std::vector<std::string> arguments;  // element 0 is the binder itself
  bool status_counts = true;           // false: a failure does not fail the build
};

// Which binder run, if any, follows a successful link.
binder_run plan_binder_run(const bind_arguments& args, bool res_found, const std::string& res_name);

#endif  // KIT_BINDRUN_BINDRUN_H_
