#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "common/interrupt.h"
#include "common/interrupt_handlers.h"

namespace {

// SIGXFSZ too: a file-size limit ends a run as any termination does, and
// must not leave its files behind either.
const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};

volatile sig_atomic_t g_running_tool = 0;

// Whether any process of the group is left.
bool group_alive(pid_t group) {
  return kill(-group, 0) == 0 || errno == EPERM;
}

void on_interrupt(int signal_number) {
  // The tool runs in a group of its own, which a terminal's SIGINT no
  // longer reaches: a termination is passed on to every process of that
  // group, a wrapper's children too.  A file-size limit is this run's own.
  const pid_t tool = g_running_tool;
  if (tool > 0 && signal_number != SIGXFSZ) kill(-tool, signal_number);
  // A tool may still be reading one of the files: wait for every child,
  // and then for what the tool started, until its whole group is gone.
  while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
  }
  const struct timespec pause = {0, 10 * 1000 * 1000};
  while (tool > 0 && group_alive(tool)) nanosleep(&pause, nullptr);
  remove_pending_files([](const char* name) { return unlink(name) == 0; });
  // Ends the run by the same signal once the handler returns and it is
  // no longer blocked, so that the caller sees how the run ended.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

sigset_t interrupt_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kInterrupts) sigaddset(&set, signal_number);
  return set;
}

// Holds may nest: only the outermost one blocks and restores.
sigset_t g_before_hold;
int g_holds = 0;

}  // namespace

bool install_interrupt_handlers() {
  for (int signal_number : kInterrupts) {
    struct sigaction action;
    if (sigaction(signal_number, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_interrupt;
    action.sa_mask = interrupt_set();
    sigaction(signal_number, &action, nullptr);
  }
  return true;
}

void note_running_tool(int pid) {
  g_running_tool = pid;
}

interrupts_held::interrupts_held() {
  if (g_holds++ > 0) return;
  const sigset_t set = interrupt_set();
  sigprocmask(SIG_BLOCK, &set, &g_before_hold);
}

interrupts_held::~interrupts_held() {
  if (--g_holds > 0) return;
  sigprocmask(SIG_SETMASK, &g_before_hold, nullptr);
}
