// What the interrupt handling shared by the platforms (interrupt.cpp), each
// platform's handlers (interrupt_posix.cpp, interrupt_win32.cpp) and the
// tool runner say to one another.  Private to common/.
#ifndef KIT_COMMON_INTERRUPT_HANDLERS_H_
#define KIT_COMMON_INTERRUPT_HANDLERS_H_

// Installs the handlers once; later calls do nothing.
void watch_interrupts();

// The platform's part of watch_interrupts; true when done.
bool install_interrupt_handlers();

// Removes the registered files from within a handler, with a remove that is
// safe to call there.
void remove_pending_files(bool (*remove)(const char* name));

// The tool being waited for, or none (0, or null): an interrupt waits for it
// before removing files, and on POSIX passes a termination on to it first.
#ifdef _WIN32
void note_running_tool(void* process);
#else
void note_running_tool(int pid);
#endif

#endif  // KIT_COMMON_INTERRUPT_HANDLERS_H_
