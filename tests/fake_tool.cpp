// Stands in for a linker, binder or compiler in the end-to-end tests.
//
// Appends a record of how it was started to the file named by FAKE_TOOL_LOG:
// its arguments, its working directory and the bytes of every file named by
// an "@file" argument as they are while it runs.  It exits with the status
// that FAKE_TOOL_EXIT gives for its name ("tlink=2,gcc=1"), else 0.  A tool
// named in FAKE_TOOL_HANG ("tlink=15") first sends the signal given to the
// program that started it (or, started by a wrapper, to the process that
// FAKE_TOOL_PARENT names), as a build that gives up on a step would, and
// runs on, for at most 20 seconds, until SIGINT, SIGTERM or SIGHUP ends it,
// which it notes in the log as "signal <number>".  On Windows it sends a
// Ctrl+C to its console instead, which reaches every program of that
// console, the one that started it too (wine delivers no Ctrl+Break), and
// ends a moment after the Ctrl+C reaches it, noting it as SIGINT.  Its name
// is the last path component of argv[0], without ".exe".
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>

#include <csignal>
#define getcwd _getcwd
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

std::string escape(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c <= 0x20 || c >= 0x7f || c == '\\') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool read_file(const std::string& path, std::string* content) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content->append(buffer, n);
  std::fclose(file);
  return true;
}

std::string tool_name(const char* argv0) {
  std::string name = argv0;
  std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
    name.resize(name.size() - 4);
  return name;
}

// The entry of the list (name=value,...) in the variable for name: the text
// after '=', or null when name is not listed.
const char* listed(const char* variable, const std::string& name) {
  static std::string value;
  const char* table = std::getenv(variable);
  if (!table) return nullptr;
  std::string list = table;
  std::size_t begin = 0;
  while (begin < list.size()) {
    std::size_t end = list.find(',', begin);
    if (end == std::string::npos) end = list.size();
    std::string entry = list.substr(begin, end - begin);
    std::size_t equals = entry.find('=');
    if (entry.substr(0, equals) == name) {
      value = equals == std::string::npos ? "" : entry.substr(equals + 1);
      return value.c_str();
    }
    begin = end + 1;
  }
  return nullptr;
}

#ifndef _WIN32
int g_log = -1;

void note_signal(int signal_number) {
  char line[32];
  const int length = std::snprintf(line, sizeof line, "signal %d\n", signal_number);
  if (g_log >= 0 && write(g_log, line, static_cast<std::size_t>(length)) < 0) _exit(2);
  _exit(128 + signal_number);
}

void end_parent_and_hang(int parent_signal, const char* log) {
  if (log) g_log = open(log, O_WRONLY | O_APPEND);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) signal(signal_number, note_signal);
  const char* parent = std::getenv("FAKE_TOOL_PARENT");
  kill(parent ? std::atoi(parent) : getppid(), parent_signal);
  sleep(20);
}
#else
const char* g_log_path = nullptr;

// Takes a moment to end, as a linker that cleans up would, so that the
// program that started it shows whether it waits.
BOOL WINAPI note_ctrl_c(DWORD) {
  Sleep(300);
  if (FILE* file = g_log_path ? std::fopen(g_log_path, "ab") : nullptr) {
    std::fprintf(file, "signal %d\n", SIGINT);
    std::fclose(file);
  }
  ExitProcess(128 + SIGINT);
}

void interrupt_console_and_hang(const char* log) {
  g_log_path = log;
  SetConsoleCtrlHandler(note_ctrl_c, TRUE);
  if (GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) Sleep(20000);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::string record = "run\n";
  for (int i = 0; i < argc; ++i) record += "arg " + escape(argv[i]) + "\n";
  char cwd[4096];
  record += "cwd " + escape(getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
  for (int i = 1; i < argc; ++i) {
    std::string content;
    if (argv[i][0] == '@' && read_file(argv[i] + 1, &content)) {
      record += "file " + escape(argv[i] + 1) + " " + escape(content) + "\n";
    }
  }
  record += "end\n";
  if (const char* log = std::getenv("FAKE_TOOL_LOG")) {
    if (FILE* file = std::fopen(log, "ab")) {
      std::fwrite(record.data(), 1, record.size(), file);
      std::fclose(file);
    }
  }
  const std::string name = tool_name(argv[0]);
#ifdef _WIN32
  if (listed("FAKE_TOOL_HANG", name)) interrupt_console_and_hang(std::getenv("FAKE_TOOL_LOG"));
#else
  if (const char* parent_signal = listed("FAKE_TOOL_HANG", name))
    end_parent_and_hang(std::atoi(parent_signal), std::getenv("FAKE_TOOL_LOG"));
#endif
  const char* status = listed("FAKE_TOOL_EXIT", name);
  return status ? std::atoi(status) : 0;
}
