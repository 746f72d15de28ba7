// Files that must not outlive a run ended by an interrupt (SIGINT, SIGTERM,
// SIGHUP or SIGXFSZ; Ctrl+C or Ctrl+Break on Windows): a half-written
// replacement of a file, a temporary file only this run knows the name of,
// or a file the run made for a tool and would have removed after it.
#ifndef KIT_COMMON_INTERRUPT_H_
#define KIT_COMMON_INTERRUPT_H_

#include <functional>
#include <string>

// Blocks the interrupts for its lifetime, so that a file is never created
// without being registered (or renamed without being forgotten) in between.
struct interrupts_held {
  interrupts_held();
  ~interrupts_held();
  interrupts_held(const interrupts_held&) = delete;
  interrupts_held& operator=(const interrupts_held&) = delete;
};

// Makes a file and has an interrupt remove it, as one held step, so that it
// never exists unregistered: make says whether it made the file, and gives
// its name.  Until forgotten, the file is removed when an interrupt ends the
// run, after any tool still running has ended (it may be reading the file);
// the run then ends by that interrupt all the same.  The first file made
// installs the handlers, leaving alone an interrupt the run was started to
// ignore.
bool make_removed_on_interrupt(const std::function<bool(std::string* name)>& make,
                               std::string* name);

// path is gone or kept for good.
void forget_on_interrupt(const std::string& path);

#endif  // KIT_COMMON_INTERRUPT_H_
