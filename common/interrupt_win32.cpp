#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "common/interrupt.h"

namespace {

// The console runs the handler on a thread of its own; the lock keeps it
// from seeing the names half-updated, and holds it off while a file is
// created and registered.  A run holds one or two such files at a time.
const int kSlots = 8;
char* g_pending[kSlots];
HANDLE g_running_tool = nullptr;
bool g_installed = false;
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
  for (char* name : g_pending) {
    if (name) DeleteFileA(name);
  }
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

void remove_on_interrupt(const std::string& path) {
  interrupts_held hold;
  if (!g_installed) g_installed = SetConsoleCtrlHandler(on_interrupt, TRUE) != 0;
  for (char*& slot : g_pending) {
    if (!slot) {
      slot = _strdup(path.c_str());
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

void note_running_tool(void* process) {
  interrupts_held hold;
  g_running_tool = static_cast<HANDLE>(process);
}
