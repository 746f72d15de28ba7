#include "srcsplice/depfile.h"

namespace {

const std::string_view kOption = "--depfile";

// Bytes that make and Ninja both take as part of a name (a space, '#', '$'
// and ':' once escaped).  Any other ends a name for Ninja, or changes what
// make reads: '%' makes a pattern, '=' a variable, '[' a wildcard.
bool is_name_byte(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= '0' && byte <= '9') || byte >= 0x80 ||
         std::string_view(" !#$()+,-./:@\\]_{}~").find(c) != std::string_view::npos;
}

// Whether make and Ninja read the escaped name back alike.
bool is_writable(std::string_view name) {
  // make reads "~user" as a home folder, and "lib(member)" as a member
  // of an archive.
  if (name.empty() || name.front() == '~') return false;
  const char last = name.back();
  if (last == ')' && name.find('(') != std::string_view::npos) return false;
  // A trailing space is lost to make, a trailing ':' to Ninja, and a
  // trailing '\' escapes what follows it.
  if (last == ' ' || last == ':' || last == '\\') return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!is_name_byte(name[i])) return false;
    // The two take a '\' before these bytes for an escape of different
    // reach.
    if (name[i] == '\\' && i + 1 < name.size() &&
        std::string_view("#$:").find(name[i + 1]) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

// A dependency file written over the destination or over a file it was
// made from would destroy that file.
bool names_a_file_of_the_run(const std::string& path, const std::string& target,
                             const dependency_list& inputs) {
  file_id depfile;
  file_id other;
  if (!identify_file(path, &depfile)) return false;
  if (identify_file(target, &other) && same_file(depfile, other)) return true;
  for (const std::string& input : inputs.paths) {
    if (identify_file(input, &other) && same_file(depfile, other)) return true;
  }
  return false;
}

}  // namespace

void add_dependency(dependency_list& list, const std::string& path) {
  if (list.seen.insert(path).second) list.paths.push_back(path);
}

int take_depfile_option(int argc, char** argv, std::optional<std::string>* depfile) {
  if (argc < 2) return 0;
  const std::string_view first = argv[1];
  if (first.size() > kOption.size() && first.substr(0, kOption.size()) == kOption &&
      first[kOption.size()] == '=') {
    *depfile = std::string(first.substr(kOption.size() + 1));
    return 1;
  }
  if (first != kOption || argc < 3) return 0;
  *depfile = argv[2];
  return 2;
}

bool escape_dependency_name(std::string_view name, std::string* escaped) {
  if (!is_writable(name)) return false;
  escaped->clear();
  std::size_t backslashes = 0;
  for (char c : name) {
    // Both read 2N+1 backslashes before a space as N of them and a space.
    if (c == ' ') escaped->append(backslashes + 1, '\\');
    if (c == '#' || c == ':') escaped->push_back('\\');
    if (c == '$') escaped->push_back('$');
    escaped->push_back(c);
    backslashes = c == '\\' ? backslashes + 1 : 0;
  }
  return true;
}

bool dependency_text(const std::string& target, const dependency_list& inputs, std::string* text) {
  std::string name;
  if (!escape_dependency_name(target, &name)) return false;
  std::string rule = name + ":";
  std::string own_rules;
  for (std::size_t i = 0; i < inputs.paths.size(); ++i) {
    if (!escape_dependency_name(inputs.paths[i], &name)) return false;
    rule.append(" ").append(name);
    if (i > 0) own_rules.append(name).append(":\n");
  }
  *text = rule + "\n" + own_rules;
  return true;
}

splice_failure write_dependency_file(const std::string& path, const std::string& target,
                                     const dependency_list& inputs) {
  std::string text;
  if (!dependency_text(target, inputs, &text)) return splice_failure::depfile_name;
  if (names_a_file_of_the_run(path, target, inputs)) return splice_failure::depfile_clash;
  file_replacement replacement;
  text_writer writer;
  const replace_start start = start_replacement(path, replacement, writer);
  const bool direct = start == replace_start::not_a_file;
  if (start == replace_start::refused || (direct && !open_writer(writer, replacement.target)))
    return splice_failure::depfile_not_written;
  // For the host's make and Ninja, not DOS text: line feeds as they are.
  write_raw(writer, text);
  const bool written = direct ? close_writer(writer)
                              : finish_replacement(replacement, writer) == replace_result::replaced;
  return written ? splice_failure::none : splice_failure::depfile_not_written;
}
