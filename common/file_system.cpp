#include "common/file_system.h"

#include "common/stream_io.h"

void abandon_replacement(file_replacement& replacement, text_writer& writer) {
  close_writer(writer);
  if (!replacement.fresh.empty()) remove_file(replacement.fresh);
  if (replacement.checked >= 0) close_file(replacement.checked);
  replacement = file_replacement();
}

replace_result replace_file_text(const std::string& path, std::string_view text) {
  file_replacement replacement;
  text_writer writer;
  if (!path_exists(path) || start_replacement(path, replacement, writer) != replace_start::started)
    return replace_result::unchanged;
  // Response files are kept with the sources: a power loss must leave the
  // old or the new one, never an empty file.
  replacement.flush = true;
  write_text(writer, text);
  return finish_replacement(replacement, writer);
}
