// coffdrv: link driver for a GCC tool chain that makes COFF images.  The
// items of the command line (and of the "@" response files after the main
// name) go into one response file for gcc; libraries are looked up along LIB
// and listed after every other item.
#ifndef KIT_COFFDRV_COFFDRV_H_
#define KIT_COFFDRV_COFFDRV_H_

#include <string>
#include <string_view>
#include <vector>

#include "common/text_stream.h"

// What the command line says about the link, gathered while its ordinary
// items are written to the response file.
struct link_state {
  std::string base_name;  // the main name without its extension
  bool base_name_seen = false;
  bool debug_build = false;            // some item began with "-g"
  std::vector<std::string> lib_dirs;   // the directories of LIB, in order
  std::vector<std::string> libraries;  // per library item: where it was found, or the item
};

enum class collect_status { ok, short_main_name, out_of_memory, response_file_not_opened };

struct collect_result {
  collect_status status = collect_status::ok;
  std::string argument;  // with response_file_not_opened: the whole "@" argument
};

// Fills state.lib_dirs from the value of LIB (null when it is not set):
// the pieces between ';', empty ones skipped.
void split_lib_path(const char* lib_value, link_state& state);

// Handles every argument after the program name (arguments[0]) in order.
// Stops at the first failure; what was written to out until then stays.
collect_result collect_arguments(text_writer& out, const std::vector<std::string>& arguments,
                                 link_state& state);

// One item of the command line or of a response file: the main name, an
// option or object written to out, or a library recorded in state.
collect_status classify_item(text_writer& out, std::string_view item, link_state& state);

// argument is "@" and a file name; every word of the file is classified.
collect_result expand_response_file(text_writer& out, std::string_view argument, link_state& state);

// Records an item ending in ".a" as a library, else writes it to out.
void resolve_library(text_writer& out, std::string_view item, link_state& state);

// Writes what follows the items: the library list twice, then the line
// "-o <base_name>".
void complete_response_file(text_writer& out, const link_state& state);

#endif  // KIT_COFFDRV_COFFDRV_H_
