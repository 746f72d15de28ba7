#include "coffdrv/coffdrv.h"

#include <limits>
#include <new>

#include "common/file_system.h"
#include "common/response_file.h"

namespace {

// Response-file lines are read whole, however long: a read of fixed size
// would end in the middle of a word and hand gcc two halves of a name.
const std::size_t kWholeLine = std::numeric_limits<std::size_t>::max();

bool is_white_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

void write_item(text_writer& out, std::string_view item) {
  write_text(out, item);
  write_text(out, " ");
}

// Any three characters after a dot count as the extension of the main name;
// a dot elsewhere, or another length, leaves the name whole.
std::string cut_extension(std::string_view name) {
  if (name.size() >= 4 && name[name.size() - 4] == '.') name.remove_suffix(4);
  return std::string(name);
}

}  // namespace

void split_lib_path(const char* lib_value, link_state& state) {
  state.lib_dirs.clear();
  if (!lib_value) return;
  std::string_view rest = lib_value;
  while (!rest.empty()) {
    const std::size_t cut = rest.find(';');
    const std::string_view piece = rest.substr(0, cut);
    if (!piece.empty()) state.lib_dirs.emplace_back(piece);
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
}

collect_result collect_arguments(text_writer& out, const std::vector<std::string>& arguments,
                                 link_state& state) {
  try {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      const std::string& argument = arguments[i];
      collect_result result;
      // Before the main name an "@" argument is no response file: being no
      // option, it becomes the main name.
      if (state.base_name_seen && starts_with(argument, "@")) {
        result = expand_response_file(out, argument, state);
      } else {
        result.status = classify_item(out, argument, state);
      }
      if (result.status != collect_status::ok) return result;
    }
  } catch (const std::bad_alloc&) {
    return {collect_status::out_of_memory, {}};
  }
  return {};
}

collect_status classify_item(text_writer& out, std::string_view item, link_state& state) {
  if (!state.base_name_seen && !starts_with(item, "-")) {
    if (item.size() < 3) return collect_status::short_main_name;
    state.base_name = cut_extension(item);
    state.base_name_seen = true;
  } else if (state.base_name_seen) {
    resolve_library(out, item, state);
  } else {
    // An option before the main name is never a library, whatever its end.
    write_item(out, item);
  }
  // The debug option still reaches gcc; it only keeps the symbols and image.
  if (starts_with(item, "-g")) state.debug_build = true;
  return collect_status::ok;
}

collect_result expand_response_file(text_writer& out, std::string_view argument,
                                    link_state& state) {
  const collect_result unusable = {collect_status::response_file_not_opened, std::string(argument)};
  text_reader reader;
  if (!open_response_file(reader, std::string(argument.substr(1)))) return unusable;
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
      const collect_status status = classify_item(out, line.substr(at, end - at), state);
      if (status != collect_status::ok) return {status, {}};
      at = end;
    }
  }
  // A file that breaks off while being read would silently drop the rest of
  // the objects from the link.
  if (reader.error) return unusable;
  return {};
}

void resolve_library(text_writer& out, std::string_view item, link_state& state) {
  if (!ends_with(item, ".a")) {
    write_item(out, item);
    return;
  }
  for (const std::string& dir : state.lib_dirs) {
    std::string candidate = dir + "/";
    candidate += item;
    if (path_exists(candidate)) {
      state.libraries.push_back(std::move(candidate));
      return;
    }
  }
  state.libraries.emplace_back(item);
}

void complete_response_file(text_writer& out, const link_state& state) {
  // Twice in a row, so that libraries referring to one another resolve
  // whatever their order.
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::string& library : state.libraries) write_item(out, library);
  }
  write_text(out, "-o ");
  write_text(out, state.base_name);
  write_text(out, "\n");
}
