#include "common/response_file.h"

#include <new>

bool open_response_file(text_reader& reader, const std::string& path) {
  return !is_device(path) && open_reader(reader, path);
}

load_status load_lines(const std::string& path, std::size_t max_lines,
                       std::vector<std::string>* lines) {
  text_reader reader;
  if (!open_response_file(reader, path)) return load_status::cannot_open;
  std::string_view line;
  try {
    while (read_line(reader, kResponseLineLimit, &line)) {
      lines->emplace_back(line);
      if (lines->size() > max_lines) return load_status::too_many_lines;
    }
  } catch (const std::bad_alloc&) {
    return load_status::out_of_memory;
  }
  return reader_failed(reader) ? load_status::cannot_open : load_status::ok;
}

const char* load_failure_message(load_status status) {
  switch (status) {
    case load_status::ok:
      return nullptr;
    case load_status::cannot_open:
      return "Unable to open response file!\n";
    case load_status::out_of_memory:
      return "Out of memory reading input file!\n";
    case load_status::too_many_lines:
      return "Too many lines in input file!\n";
  }
  return nullptr;
}

const char* update_failure_message(replace_result result) {
  switch (result) {
    case replace_result::replaced:
      return nullptr;
    case replace_result::unchanged:
      return "Unable to update response file!\n";
    case replace_result::damaged:
      return "Unable to update response file!\nUnable to restore response file!\n";
  }
  return nullptr;
}
