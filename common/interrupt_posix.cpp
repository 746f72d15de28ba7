#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "common/interrupt.h"

namespace {

const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can reach nothing but process-wide state.  The names are
// plain heap copies, changed only while the interrupts are blocked, so the
// handler never sees one half-updated.  A run holds one or two such files at
// a time; a few slots more cost nothing.
const int kSlots = 8;
char* g_pending[kSlots];
bool g_installed = false;

void on_interrupt(int signal_number) {
  // A tool may still be reading one of the files: wait for every child.
  while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
  }
  for (char* name : g_pending) {
    if (name) unlink(name);
  }
  // Ends the run by the same signal once the handler returns and it is
  // no longer blocked, so that the caller sees how the run ended.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void install_handlers() {
  g_installed = true;
  for (int signal_number : kInterrupts) {
    struct sigaction action;
    if (sigaction(signal_number, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    for (int other : kInterrupts) sigaddset(&action.sa_mask, other);
    sigaction(signal_number, &action, nullptr);
  }
}

sigset_t interrupt_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kInterrupts) sigaddset(&set, signal_number);
  return set;
}

sigset_t g_before_hold;
int g_holds = 0;

}  // namespace

interrupts_held::interrupts_held() {
  if (g_holds++ > 0) return;
  const sigset_t set = interrupt_set();
  sigprocmask(SIG_BLOCK, &set, &g_before_hold);
}

interrupts_held::~interrupts_held() {
  if (--g_holds > 0) return;
  sigprocmask(SIG_SETMASK, &g_before_hold, nullptr);
}

void remove_on_interrupt(const std::string& path) {
  interrupts_held hold;
  if (!g_installed) install_handlers();
  for (char*& slot : g_pending) {
    if (!slot) {
      slot = strdup(path.c_str());
      return;
    }
  }
}

void forget_on_interrupt(const std::string& path) {
  interrupts_held hold;
  for (char*& slot : g_pending) {
    if (slot && path == slot) {
      std::free(slot);
      slot = nullptr;
    }
  }
}
