// Names written for DOS (any case, '\' between folders) found on a host
// whose file system tells case apart and separates folders with '/'.
#ifndef KIT_COMMON_DOS_NAMES_H_
#define KIT_COMMON_DOS_NAMES_H_

#include <map>
#include <string>

#include "common/file_system.h"

// The folders listed so far in a run, each listed once: the entries by
// name with the letters A to Z folded, each to its one entry, or to an
// empty name where several fold alike.
struct folder_listings {
  std::map<std::string, std::map<std::string, std::string>> folders;
};

#ifdef _WIN32
// Windows finds such names itself: the name is used as given.
inline bool find_dos_name(const std::string& name, folder_listings&, std::string* found) {
  *found = name;
  return path_exists(name);
}

inline bool place_dos_name(const std::string& name, folder_listings&, std::string* place) {
  *place = name;
  return true;
}
#else
// Finds what DOS would open under name.  A name under which anything
// exists as written is taken as written.  Otherwise each '\' separates
// folders too, and the components are matched one by one from the current
// folder (from '/' for a name that begins with a separator): a component
// that exists as written is taken, else the one entry that matches it with
// the letters A to Z folded.  False when some component matches nothing or
// more than one entry, and for a name with a drive prefix ("C:").  *found
// is the path to open, with '/' between its components.  Callers ask only
// once the name failed as written, so names that work cost nothing more.
// A folder is listed once a run: what appears in it later is not seen.
bool find_dos_name(const std::string& name, folder_listings& listings, std::string* found);

// Where DOS would make a file under name: in the folder found as above,
// under the last component as written.  False when there is no such
// folder.
bool place_dos_name(const std::string& name, folder_listings& listings, std::string* place);
#endif

#endif  // KIT_COMMON_DOS_NAMES_H_
