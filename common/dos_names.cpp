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

// The entries of folder by folded name, listed once a run; none when the
// listing broke off, which may have hidden a second match.
const std::map<std::string, std::string>& listing(const std::string& folder,
                                                  folder_listings& listings) {
  const auto kept = listings.folders.find(folder);
  if (kept != listings.folders.end()) return kept->second;
  std::map<std::string, std::string>& entries = listings.folders[folder];
  DIR* dir = opendir(folder.c_str());
  if (!dir) return entries;
  errno = 0;
  while (const dirent* e = readdir(dir)) {
    std::string folded = e->d_name;
    for (char& c : folded) c = fold_ascii(c);
    // Two entries alike are as good as none: DOS could not have told them
    // apart, and neither can the build.
    const auto added = entries.emplace(folded, e->d_name);
    if (!added.second) added.first->second.clear();
  }
  if (errno != 0) entries.clear();
  closedir(dir);
  return entries;
}

// The one entry of folder that equals component with case folded.
bool match_folded(const std::string& folder, const std::string& component,
                  folder_listings& listings, std::string* entry) {
  std::string folded = component;
  for (char& c : folded) c = fold_ascii(c);
  const std::map<std::string, std::string>& entries = listing(folder, listings);
  const auto match = entries.find(folded);
  if (match == entries.end() || match->second.empty()) return false;
  *entry = match->second;
  return true;
}

}  // namespace

bool find_dos_name(const std::string& name, folder_listings& listings, std::string* found) {
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
        !match_folded(path.empty() ? "." : path, component, listings, &entry))
      return false;
    path += entry;
    // A separator at the end stays: only a folder may stand before it.
    if (end < name.size()) path += '/';
    at = end;
  }
  *found = path;
  return true;
}

bool place_dos_name(const std::string& name, folder_listings& listings, std::string* place) {
  const std::size_t last = name.find_last_of("/\\");
  if (last == std::string::npos) {
    *place = name;
    return true;
  }
  std::string folder;
  if (!find_dos_name(last == 0 ? name.substr(0, 1) : name.substr(0, last), listings, &folder))
    return false;
  *place = folder + "/" + name.substr(last + 1);
  return true;
}
