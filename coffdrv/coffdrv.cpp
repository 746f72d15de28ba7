#include "coffdrv/coffdrv.h"

#include <limits>
#include <new>
#include <string_view>

#include "common/ascii.h"
#include "common/dos_names.h"
#include "common/file_system.h"
#include "common/response_file.h"

namespace {

// Response-file lines are read whole, however long: a read of fixed size
// would end in the middle of a word and hand gcc two halves of a name.
const std::size_t kWholeLine = std::numeric_limits<std::size_t>::max();

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Any three characters after a dot count as the extension of the main name;
// a dot elsewhere, or another length, leaves the name whole.
std::string cut_extension(std::string_view name) {
  if (name.size() >= 4 && name[name.size() - 4] == '.') name.remove_suffix(4);
  return std::string(name);
}

// Where names are looked for: the folders of LIB, and the folders listed
// so far for names written for DOS.
struct name_search {
  const std::vector<std::string>& lib_dirs;
  folder_listings listings;
};

// A line break cannot reach gcc inside a word of its response file: the
// file's line ends are written as CR LF, and gcc would take the rest of the
// word for another.
bool reaches_gcc_whole(std::string_view word, link_plan& plan) {
  if (word.find_first_of("\r\n") == std::string_view::npos) return true;
  plan.status = collect_status::line_break;
  return false;
}

// Records an item ending in ".a" as a library, else as an item.
void resolve_library(std::string_view item, name_search& search, link_plan& plan) {
  if (!ends_with(item, ".a")) {
    plan.items.emplace_back(item);
    return;
  }
  const std::vector<std::string>& lib_dirs = search.lib_dirs;
  for (const std::string& dir : lib_dirs) {
    std::string candidate = dir + "/";
    candidate += item;
    if (path_exists(candidate)) {
      plan.libraries.push_back(std::move(candidate));
      return;
    }
  }
  // Only then as DOS would find it (LIB=..\LIB, LIBGREET.a), so that a
  // library found today is still the one found.  gcc gets the path found.
  for (const std::string& dir : lib_dirs) {
    std::string found;
    if (find_dos_name(dir + "/" + std::string(item), search.listings, &found)) {
      plan.libraries.push_back(std::move(found));
      return;
    }
  }
  plan.libraries.emplace_back(item);
}

// One item of the command line or of a response file: the main name, an
// option or object, or a library.  False when it ends the collection.
bool classify_item(std::string_view item, name_search& search, link_plan& plan) {
  if (!reaches_gcc_whole(item, plan)) return false;
  if (!plan.base_name_seen && !starts_with(item, "-")) {
    if (item.size() < 3) {
      plan.status = collect_status::short_main_name;
      return false;
    }
    plan.base_name = cut_extension(item);
    plan.base_name_seen = true;
  } else if (plan.base_name_seen) {
    resolve_library(item, search, plan);
    // A folder of LIB may hold a line break too.
    if (!plan.libraries.empty() && !reaches_gcc_whole(plan.libraries.back(), plan)) return false;
  } else {
    // An option before the main name is never a library, whatever its end.
    plan.items.emplace_back(item);
  }
  // The debug option still reaches gcc; it only keeps the symbols and image.
  if (starts_with(item, "-g")) plan.debug_build = true;
  return true;
}

// argument is "@" and a file name; every word of the file is classified.
bool expand_response_file(const std::string& argument, name_search& search, link_plan& plan) {
  text_reader reader;
  const std::string name = argument.substr(1);
  // A build written for DOS may name it in other case, or with '\'.
  std::string dos_path;
  if (open_response_file(reader, name) ||
      (find_dos_name(name, search.listings, &dos_path) && dos_path != name &&
       open_response_file(reader, dos_path))) {
    std::string_view line;
    while (read_line(reader, kWholeLine, &line)) {
      std::size_t at = 0;
      while (at < line.size()) {
        if (is_white_space(line[at])) {
          ++at;
          continue;
        }
        std::size_t end = at;
        while (end < line.size() && !is_white_space(line[end])) ++end;
        // A word beginning with "@" is an ordinary item: response files do not nest.
        if (!classify_item(line.substr(at, end - at), search, plan)) return false;
        at = end;
      }
    }
    // A file that breaks off while being read would silently drop the rest
    // of the objects from the link.
    if (!reader_failed(reader)) return true;
  }
  plan.status = collect_status::response_file_not_opened;
  plan.failed_argument = argument;
  return false;
}

// gcc reads its response file by rules of its own: white space separates
// words, quotes group them and a backslash takes the next byte as it is.
// Each byte of an item that means something there goes behind a backslash,
// so that gcc reads back exactly the item given.  A word that begins with
// "@" would be read as a response file of its own: it is named as the same
// file in the current folder.
void append_word(std::string& text, std::string_view item) {
  if (starts_with(item, "@")) text += "./";
  for (char c : item) {
    if (is_white_space(c) || c == '\\' || c == '\'' || c == '"') text += '\\';
    text += c;
  }
}

void append_item(std::string& text, std::string_view item) {
  append_word(text, item);
  text += ' ';
}

}  // namespace

std::vector<std::string> split_lib_path(const char* lib_value) {
  std::vector<std::string> dirs;
  std::string_view rest = lib_value ? lib_value : "";
  while (!rest.empty()) {
    const std::size_t cut = rest.find(';');
    const std::string_view piece = rest.substr(0, cut);
    if (!piece.empty()) dirs.emplace_back(piece);
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return dirs;
}

link_plan collect_arguments(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& lib_dirs) {
  link_plan plan;
  name_search search = {lib_dirs, {}};
  try {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      const std::string& argument = arguments[i];
      // Before the main name an "@" argument is no response file: being no
      // option, it becomes the main name.
      const bool go_on = plan.base_name_seen && starts_with(argument, "@")
                             ? expand_response_file(argument, search, plan)
                             : classify_item(argument, search, plan);
      if (!go_on) break;
    }
  } catch (const std::bad_alloc&) {
    plan.status = collect_status::out_of_memory;
  }
  return plan;
}

std::string response_file_text(const link_plan& plan) {
  std::string text;
  for (const std::string& item : plan.items) append_item(text, item);
  if (plan.status != collect_status::ok) return text;
  // Twice in a row, so that libraries referring to one another resolve
  // whatever their order.
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::string& library : plan.libraries) append_item(text, library);
  }
  text += "-o ";
  append_word(text, plan.base_name);
  text += '\n';
  return text;
}
