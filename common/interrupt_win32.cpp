#include <windows.h>

#include "common/interrupt.h"
#include "common/interrupt_handlers.h"

namespace {

// The console runs the handler on a thread of its own; the lock keeps it
// from seeing the names half-updated, and holds it off while a file is
// created and registered.
HANDLE g_running_tool = nullptr;
CRITICAL_SECTION g_lock;
INIT_ONCE g_lock_ready = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK make_lock(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&g_lock);
  return TRUE;
}

void lock() {
  InitOnceExecuteOnce(&g_lock_ready, make_lock, nullptr, nullptr);
  EnterCriticalSection(&g_lock);
}

BOOL WINAPI on_interrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  lock();
  // The tool got the interrupt too; a file it still reads cannot be
  // removed until it has ended.
  if (g_running_tool) WaitForSingleObject(g_running_tool, INFINITE);
  remove_pending_files([](const char* name) { return DeleteFileA(name) != 0; });
  // The lock stays taken: the run ends by the default handler now.
  return FALSE;
}

}  // namespace

interrupts_held::interrupts_held() {
  lock();
}

interrupts_held::~interrupts_held() {
  LeaveCriticalSection(&g_lock);
}

bool install_interrupt_handlers() {
  return SetConsoleCtrlHandler(on_interrupt, TRUE) != 0;
}

void note_running_tool(void* process) {
  interrupts_held hold;
  g_running_tool = static_cast<HANDLE>(process);
}
