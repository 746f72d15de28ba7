// Command lines for Windows, where a child gets one string and splits it
// itself.  Pure text functions, so that they are tested on every platform.
#ifndef KIT_COMMON_COMMAND_LINE_H_
#define KIT_COMMON_COMMAND_LINE_H_

#include <string>
#include <vector>

// The argument as it must stand in a command line so that the C runtime's
// splitting gives it back unchanged: quoted only when it holds a space, a
// tab or a double quote, or is empty.
std::string quote_argument(const std::string& argument);

// The path found, one space, then arguments[1..] quoted as above and
// separated by single spaces (so the line ends in a space when there are
// none).  With quote_path the path is put in double quotes unless it
// already begins with one.
std::string program_command_line(const std::string& path, const std::vector<std::string>& arguments,
                                 bool quote_path);

// What follows the interpreter's path to run a batch file: " /c ", the
// batch file and arguments[1..].  The interpreter reads & | < > ^ ( ) as
// commands of its own, so arguments holding them are quoted; a double
// quote, %, !, CR or LF cannot reach a batch file literally at all, and
// then there is no command line (false).
bool batch_command_tail(const std::string& batch_path, const std::vector<std::string>& arguments,
                        std::string* tail);

#endif  // KIT_COMMON_COMMAND_LINE_H_
