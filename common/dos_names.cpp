#include "common/dos_names.h"

#include <dirent.h>
#include <errno.h>

#include "common/ascii.h"

namespace {

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

// A drive stands for no folder here.
bool has_drive_prefix(const std::string& name) {
  if (name.size() < 2 || name[1] != ':') return false;
  const char letter = fold_ascii(name[0]);
  return letter >= 'a' && letter <= 'z';
}

// The one entry of folder that equals component with case folded.  Two
// such entries are as good as none: DOS could not have told them apart,
// and neither can the build.
bool match_folded(const std::string& folder, const std::string& component, std::string* entry) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  int matches = 0;
  errno = 0;
  while (const dirent* e = readdir(dir)) {
    if (!same_folded(e->d_name, component)) continue;
    if (++matches > 1) break;
    *entry = e->d_name;
  }
  // A listing that broke off may have hidden a second match.
  const bool listed = errno == 0;
  closedir(dir);
  return listed && matches == 1;
}

}  // namespace

bool find_dos_name(const std::string& name, std::string* found) {
  if (path_exists(name)) {
    *found = name;
    return true;
  }
  if (name.empty() || holds_zero_byte(name) || has_drive_prefix(name)) return false;
  std::string path = is_separator(name[0]) ? "/" : "";
  std::size_t at = 0;
  while (at < name.size()) {
    if (is_separator(name[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < name.size() && !is_separator(name[end])) ++end;
    const std::string component = name.substr(at, end - at);
    std::string entry = component;
    if (!path_exists(path + component) &&
        !match_folded(path.empty() ? "." : path, component, &entry))
      return false;
    path += entry;
    // A separator at the end stays: only a folder may stand before it.
    if (end < name.size()) path += '/';
    at = end;
  }
  *found = path;
  return true;
}
