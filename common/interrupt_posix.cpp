#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "common/interrupt.h"

namespace {

const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

void on_interrupt(int signal_number) {
  // A tool may still be reading one of the files: wait for every child.
  while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
  }
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

interrupts_held::interrupts_held() {
  if (g_holds++ > 0) return;
  const sigset_t set = interrupt_set();
  sigprocmask(SIG_BLOCK, &set, &g_before_hold);
}

interrupts_held::~interrupts_held() {
  if (--g_holds > 0) return;
  sigprocmask(SIG_SETMASK, &g_before_hold, nullptr);
}
