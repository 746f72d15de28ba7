#include "common/command_line.h"

namespace {

bool holds_any(const std::string& text, const char* bytes) {
  return text.find_first_of(bytes) != std::string::npos;
}

std::string quote_for_interpreter(const std::string& argument) {
  if (argument.empty() || holds_any(argument, " \t&|<>^()")) return "\"" + argument + "\"";
  return argument;
}

}  // namespace

std::string quote_argument(const std::string& argument) {
  if (!argument.empty() && !holds_any(argument, " \t\"")) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only before a double quote: there they are doubled,
    // and one more escapes the quote itself.
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
}

std::string program_command_line(const std::string& path, const std::vector<std::string>& arguments,
                                 bool quote_path) {
  std::string line = quote_path && (path.empty() || path[0] != '"') ? "\"" + path + "\"" : path;
  line += ' ';
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (i > 1) line += ' ';
    line += quote_argument(arguments[i]);
  }
  return line;
}

bool batch_command_tail(const std::string& batch_path, const std::vector<std::string>& arguments,
                        std::string* tail) {
  std::string rest = quote_for_interpreter(batch_path);
  if (holds_any(batch_path, "\"%!\r\n")) return false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (holds_any(arguments[i], "\"%!\r\n")) return false;
    rest += ' ';
    rest += quote_for_interpreter(arguments[i]);
  }
  // The interpreter drops the first and the last double quote of a line
  // that begins with one (unless it holds just one quoted program name);
  // an extra pair keeps the quotes that were meant.
  if (rest[0] == '"') rest = "\"" + rest + "\"";
  *tail = " /c " + rest;
  return true;
}
