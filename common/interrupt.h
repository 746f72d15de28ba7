// Files that must not outlive a run ended by an interrupt (SIGINT, SIGTERM or
// SIGHUP; Ctrl+C or Ctrl+Break on Windows): a half-written replacement of a
// file, or a temporary file only this run knows the name of.
#ifndef KIT_COMMON_INTERRUPT_H_
#define KIT_COMMON_INTERRUPT_H_

#include <string>

// Blocks the interrupts for its lifetime, so that a file is never created
// without being registered (or renamed without being forgotten) in between.
struct interrupts_held {
  interrupts_held();
  ~interrupts_held();
  interrupts_held(const interrupts_held&) = delete;
  interrupts_held& operator=(const interrupts_held&) = delete;
};

// Until forgotten, path is removed when an interrupt ends the run, after
// any tool still running has ended (it may be reading the file); the run
// then ends by that interrupt all the same.  The first call installs the
// handlers, leaving alone an interrupt the run was started to ignore.
void remove_on_interrupt(const std::string& path);

// path is gone or kept for good.
void forget_on_interrupt(const std::string& path);

#ifdef _WIN32
// The tool being waited for (a process handle), or null: an interrupt waits
// for it before removing files.
void note_running_tool(void* process);
#endif

// For the platform files: installs the handlers (true when done), and
// removes the registered files from within one, with a remove that is safe
// to call there.
bool install_interrupt_handlers();
void remove_pending_files(bool (*remove)(const char* name));

#endif  // KIT_COMMON_INTERRUPT_H_
