#include "common/interrupt.h"

#include <cstdlib>
#include <cstring>

#include "common/interrupt_handlers.h"

namespace {

// A handler can reach nothing but process-wide state.  The names are plain
// heap copies, changed only while the interrupts are held off, so a handler
// never sees one half-updated.  A run holds one or two such files at a
// time; a few slots more cost nothing.
const int kSlots = 8;
char* g_pending[kSlots];
bool g_installed = false;

void remove_on_interrupt(const std::string& path) {
  watch_interrupts();
  for (char*& slot : g_pending) {
    if (!slot) {
      slot = static_cast<char*>(std::malloc(path.size() + 1));
      if (slot) std::memcpy(slot, path.c_str(), path.size() + 1);
      return;
    }
  }
}

}  // namespace

void watch_interrupts() {
  interrupts_held hold;
  if (!g_installed) g_installed = install_interrupt_handlers();
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

bool make_removed_on_interrupt(const std::function<bool(std::string* name)>& make,
                               std::string* name) {
  interrupts_held hold;
  const bool made = make(name);
  if (made) remove_on_interrupt(*name);
  return made;
}

void remove_pending_files(bool (*remove)(const char* name)) {
  for (char* name : g_pending) {
    if (name) remove(name);
  }
}
