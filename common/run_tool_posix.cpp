#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "common/ascii.h"
#include "common/interrupt.h"
#include "common/interrupt_handlers.h"
#include "common/run_tool.h"

extern char** environ;

namespace {

enum class start_result { started, not_found, failed };

#ifdef POSIX_SPAWN_SETSID
const short kOwnSession = POSIX_SPAWN_SETSID;
#else
const short kOwnSession = POSIX_SPAWN_SETPGROUP;  // a group, at least
#endif

// Failures that mean "no program under this name that the system can start",
// after which the search goes on with the next candidate.
bool means_not_found(int error) {
  switch (error) {
    case ENOENT:
    case EACCES:
    case ENOEXEC:
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case ENAMETOOLONG:
    case EPERM:
      return true;
    default:
      return false;
  }
}

// How a tool is started: its arguments, and the signal mask it gets.
struct spawn_request {
  char* const* argv;
  const posix_spawnattr_t* attributes;
};

start_result try_start(const std::string& path, const spawn_request& request, pid_t* pid) {
  if (holds_zero_byte(path)) return start_result::not_found;
  // Most candidates of a search do not exist; telling that from the name is
  // far cheaper than a process start that fails.
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return start_result::not_found;
  int error = posix_spawn(pid, path.c_str(), nullptr, request.attributes, request.argv, environ);
  if (error == 0) return start_result::started;
  return means_not_found(error) ? start_result::not_found : start_result::failed;
}

start_result search_and_start(const std::string& program, const spawn_request& request,
                              pid_t* pid) {
  if (program.empty()) return start_result::not_found;
  start_result result = try_start(program, request, pid);
  if (result != start_result::not_found || program.find('/') != std::string::npos) return result;
  const char* path = std::getenv("PATH");
  if (!path) return start_result::not_found;
  std::string list = path;
  std::size_t begin = 0;
  while (begin <= list.size()) {
    std::size_t colon = list.find(':', begin);
    if (colon == std::string::npos) colon = list.size();
    if (colon > begin) {
      std::string candidate = list.substr(begin, colon - begin);
      if (candidate.back() != '/') candidate += '/';
      candidate += program;
      result = try_start(candidate, request, pid);
      if (result != start_result::not_found) return result;
    }
    begin = colon + 1;
  }
  return start_result::not_found;
}

// Waits for the tool and gives its status.  The tool stays noted as running
// until it has ended, and is reaped only then: an interrupt meanwhile passes
// on to it, and its number cannot have gone to another process.
int wait_for(pid_t pid) {
  siginfo_t info;
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0) {
    if (errno != EINTR) break;
  }
  note_running_tool(0);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

int run_tool(const std::string& program, const std::vector<std::string>& arguments, path_quoting) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  watch_interrupts();
  // A run started with SIGCHLD ignored would never see its tool end.
  signal(SIGCHLD, SIG_DFL);
  // The tool starts with the signal mask of the run, not the one held below,
  // and in a session, and so a process group, of its own: the handlers pass
  // a termination on to every process of it, and a terminal it reads is no
  // controlling terminal of its own, where a background group would stop.
  sigset_t mask;
  posix_spawnattr_t attributes;
  if (sigprocmask(SIG_SETMASK, nullptr, &mask) != 0 || posix_spawnattr_init(&attributes) != 0)
    return -1;
  posix_spawnattr_setsigmask(&attributes, &mask);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | kOwnSession);
  pid_t pid = 0;
  start_result started = start_result::failed;
  {
    // Started and noted as one step, so that no interrupt falls between.
    interrupts_held hold;
    started = search_and_start(program, {argv.data(), &attributes}, &pid);
    if (started == start_result::started) note_running_tool(pid);
  }
  posix_spawnattr_destroy(&attributes);
  return started == start_result::started ? wait_for(pid) : -1;
}
