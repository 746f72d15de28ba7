// Starting a build tool by name and waiting for it.
#ifndef KIT_COMMON_RUN_TOOL_H_
#define KIT_COMMON_RUN_TOOL_H_

#include <string>
#include <vector>

// On Windows the path of the program can be put in double quotes on the
// command line the child gets; elsewhere the child gets arguments as they are.
enum class path_quoting { plain, quoted };

// Finds program (as named, then along PATH), starts it with arguments
// (arguments[0] repeats program), waits for it and returns its exit status:
// 128 plus the signal number when a signal ended it, -1 when nothing could
// be started.  Writes no message.
int run_tool(const std::string& program, const std::vector<std::string>& arguments,
             path_quoting quoting = path_quoting::plain);

#endif  // KIT_COMMON_RUN_TOOL_H_
