// coffdrv: link driver for a GCC tool chain that makes COFF images.  The
// items of the command line (and of the "@" response files after the main
// name) go into one response file for gcc; libraries are looked up along LIB
// and listed after every other item.
#ifndef KIT_COFFDRV_COFFDRV_H_
#define KIT_COFFDRV_COFFDRV_H_

#include <string>
#include <vector>

enum class collect_status {
  ok,
  short_main_name,
  out_of_memory,
  response_file_not_opened,
  line_break,  // in an item or a library's path, which gcc would read as two
};

// What the command line asks of the link.
struct link_plan {
  std::vector<std::string> items;      // for gcc's response file, in order
  std::vector<std::string> libraries;  // per library item: where it was found, or the item
  std::string base_name;               // the main name without its extension
  bool base_name_seen = false;
  bool debug_build = false;  // some item began with "-g"
  // Collection stops at the first failure; what was collected before it
  // stays in the plan.
  collect_status status = collect_status::ok;
  std::string failed_argument;  // with response_file_not_opened: the whole "@" argument
};

// The directories of LIB (null when it is not set): the pieces between ';',
// empty ones skipped.
std::vector<std::string> split_lib_path(const char* lib_value);

// Handles every argument after the program name (arguments[0]) in order,
// reading the "@" response files after the main name and looking libraries
// up in lib_dirs.
link_plan collect_arguments(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& lib_dirs);

// gcc's response file: each item followed by a space, then the library
// list twice and the line "-o <base_name>".  After a failed collection, the
// items collected up to the failure only.
std::string response_file_text(const link_plan& plan);

#endif  // KIT_COFFDRV_COFFDRV_H_
