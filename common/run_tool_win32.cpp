#include <windows.h>

#include <cstdlib>

#include "common/ascii.h"
#include "common/command_line.h"
#include "common/interrupt.h"
#include "common/interrupt_handlers.h"
#include "common/run_tool.h"

namespace {

enum class outcome { started, not_found, failed };

// The longest path the search builds.
const long kMaxPath = 260;

// Start failures after which the search goes on with the next candidate.
bool means_not_found(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_BAD_FORMAT:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
    case ERROR_INVALID_PARAMETER:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
    case ERROR_INVALID_EXE_SIGNATURE:
      return true;
    default:
      return false;
  }
}

bool is_file(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The extension of the last component of name, with its dot; empty when
// the name has none.
std::string extension_of(const std::string& name) {
  std::size_t start = name.find_last_of("\\/:");
  start = start == std::string::npos ? 0 : start + 1;
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < start) return "";
  return name.substr(dot);
}

bool is_batch_extension(const std::string& extension) {
  return same_folded(extension, ".bat");
}

outcome start_process(const std::string& path, const std::string& command_line, int* status) {
  if (holds_zero_byte(path)) return outcome::not_found;
  // A folder under the name fails to start with an error that need not be
  // one of the above, and would end the search: whatever is no file is
  // passed over before starting, as on POSIX.
  if (!is_file(path)) return outcome::not_found;
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::string line = command_line;  // CreateProcessA may write into it
  {
    // Started and noted as one step, so that a Ctrl+C waits for the tool.
    interrupts_held hold;
    if (!CreateProcessA(path.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return means_not_found(GetLastError()) ? outcome::not_found : outcome::failed;
    }
    note_running_tool(process.hProcess);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  note_running_tool(nullptr);
  DWORD code = static_cast<DWORD>(-1);
  if (!GetExitCodeProcess(process.hProcess, &code)) code = static_cast<DWORD>(-1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  *status = static_cast<int>(code);
  return outcome::started;
}

// What a candidate is started with.  A batch file cannot run the
// interpreter through another batch file, so batch runs are off for the
// interpreter itself.
struct launch {
  const std::vector<std::string>* arguments;
  bool quote_path;
  bool batch_allowed;
  std::string interpreter_tail;  // set when starting the interpreter
};

outcome try_candidate(const std::string& name, const launch& how, int* status);

outcome start_named(const std::string& path, const launch& how, int* status) {
  std::string line = how.batch_allowed ? program_command_line(path, *how.arguments, how.quote_path)
                                       : path + how.interpreter_tail;
  return start_process(path, line, status);
}

outcome run_batch(const std::string& batch_path, const launch& how, int* status) {
  const char* interpreter = std::getenv("COMSPEC");
  launch through;
  through.arguments = how.arguments;
  through.quote_path = false;
  through.batch_allowed = false;
  if (!interpreter || !*interpreter ||
      !batch_command_tail(batch_path, *how.arguments, &through.interpreter_tail)) {
    return outcome::failed;
  }
  outcome result = try_candidate(interpreter, through, status);
  return result == outcome::not_found ? outcome::failed : result;
}

outcome try_candidate(const std::string& name, const launch& how, int* status) {
  const std::string extension = extension_of(name);
  if (is_batch_extension(extension)) {
    if (how.batch_allowed && is_file(name)) return run_batch(name, how, status);
  } else if (!extension.empty()) {
    outcome result = start_named(name, how, status);
    if (result != outcome::not_found) return result;
  }
  for (const char* suffix : {".com", ".exe"}) {
    outcome result = start_named(name + suffix, how, status);
    if (result != outcome::not_found) return result;
  }
  if (how.batch_allowed && is_file(name + ".bat")) return run_batch(name + ".bat", how, status);
  return outcome::not_found;
}

outcome search_path(const std::string& program, const launch& how, int* status) {
  const char* path = std::getenv("PATH");
  if (!path || !*path) return outcome::not_found;
  const std::string list = path;
  const long longest_directory = kMaxPath - static_cast<long>(program.size() + 1);
  std::size_t begin = 0;
  while (begin < list.size()) {
    std::size_t end = list.find(';', begin);
    if (end == std::string::npos) end = list.size();
    std::string directory = list.substr(begin, end - begin);
    begin = end + 1;
    if (directory.empty()) continue;
    if (static_cast<long>(directory.size()) > longest_directory) return outcome::failed;
    if (directory.back() != '\\') directory += '\\';
    outcome result = try_candidate(directory + program, how, status);
    if (result != outcome::not_found) return result;
  }
  return outcome::not_found;
}

}  // namespace

int run_tool(const std::string& program, const std::vector<std::string>& arguments,
             path_quoting quoting) {
  launch how;
  how.arguments = &arguments;
  how.quote_path = quoting == path_quoting::quoted;
  how.batch_allowed = true;
  int status = -1;
  if (program.empty()) return -1;
  outcome result = try_candidate(program, how, &status);
  const bool rooted = program[0] == '\\' || (program.size() > 1 && program[1] == ':');
  if (result == outcome::not_found && !rooted) result = search_path(program, how, &status);
  return result == outcome::started ? status : -1;
}
