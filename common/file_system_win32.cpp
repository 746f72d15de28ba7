#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <string>

#include "common/ascii.h"
#include "common/file_system.h"
#include "common/in_place.h"
#include "common/interrupt.h"
#include "common/stream_io.h"

namespace {

// A handle to the file or folder under path that only looks at it: any
// other process may still read, write or remove it.
HANDLE open_to_look(const std::string& path) {
  return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::string directory_of(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash + 1 == 1 ? 1 : slash);
}

// Six characters that differ from run to run and from call to call.
std::string random_part() {
  static unsigned long long state = 0;
  if (state == 0) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    state = static_cast<unsigned long long>(now.QuadPart) ^
            (static_cast<unsigned long long>(GetCurrentProcessId()) << 32);
  }
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string part;
  for (int i = 0; i < 6; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    part += kLetters[(state >> 33) % 36];
  }
  return part;
}

// Creates a new file under prefix + random + suffix, never over another,
// and has an interrupt remove it.
int create_fresh(const std::string& prefix, const std::string& suffix, std::string* name) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    int fd = -1;
    make_removed_on_interrupt(
        [&](std::string* made) {
          *made = prefix + random_part() + suffix;
          fd = _open(made->c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
          return fd >= 0;
        },
        name);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// What stands under path: a file on disk, something else (a folder, or a
// device such as NUL or CON, which a rename would put a plain file in place
// of), or nothing.
enum class entry_kind { none, disk_file, other };

entry_kind kind_of(const std::string& path, DWORD* file_type = nullptr) {
  HANDLE file = open_to_look(path);
  if (file == INVALID_HANDLE_VALUE) {
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES ? entry_kind::none
                                                                       : entry_kind::other;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const DWORD type = GetFileType(file);
  if (file_type) *file_type = type;
  bool disk = type == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
              !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(file);
  return disk ? entry_kind::disk_file : entry_kind::other;
}

// Whether this run may write the file, as a rewrite in place would.
bool may_write(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// The file that path finally names, through any symbolic links, so that a
// link keeps pointing at the replaced file; false where that cannot be
// told, rather than replace the link with a plain file.
bool final_target(const std::string& path, std::string* target) {
  HANDLE file = open_to_look(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  // Asked with no room, the call tells the room the name needs: with its
  // ending zero on Windows, without it under wine.
  std::string name(GetFinalPathNameByHandleA(file, nullptr, 0, flags) + 1, '\0');
  const DWORD length = GetFinalPathNameByHandleA(file, name.data(), name.size(), flags);
  CloseHandle(file);
  if (length == 0 || length >= name.size()) return false;
  name.resize(length);
  // Without the long-name prefix: \\?\C:\dir\file, \\?\UNC\server\share\file.
  if (name.rfind("\\\\?\\UNC\\", 0) == 0)
    name = "\\" + name.substr(7);
  else if (name.rfind("\\\\?\\", 0) == 0)
    name = name.substr(4);
  *target = name;
  return true;
}

// Gives the fresh file the old one's access rules, where this run may set
// them; a fresh file otherwise has those of its folder.
void take_over_security(const std::string& from, const std::string& to) {
  const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  GetFileSecurityA(from.c_str(), what, nullptr, 0, &size);
  if (size == 0) return;
  std::string descriptor(size, '\0');
  if (GetFileSecurityA(from.c_str(), what, descriptor.data(), size, &size))
    SetFileSecurityA(to.c_str(), what, descriptor.data());
}

// Puts the fresh file in the old one's place.  Another process that holds
// the old file open for a moment (a virus scanner, an indexer, an editor)
// makes the move fail for as long: it is tried again for about a second.
bool move_into_place(const std::string& fresh, const std::string& target) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(fresh.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == 20)
      return false;
    Sleep(50);
  }
}

// Which file the handle is open on, and how many names it has.
bool identify_handle(HANDLE file, file_id* id, unsigned long long* links = nullptr) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  id->device = info.dwVolumeSerialNumber;
  id->inode = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  if (links) *links = info.nNumberOfLinks;
  return true;
}

bool identify_path(const std::string& path, file_id* id, unsigned long long* links) {
  HANDLE file = open_to_look(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = identify_handle(file, id, links);
  CloseHandle(file);
  return ok;
}

// Writes the staged content over the old file, reopened: only when it is
// still the file checked at the start.
replace_result rewrite_reopened(file_replacement& replacement, int fresh) {
  const int fd = _open(replacement.target.c_str(), _O_RDWR | _O_BINARY);
  file_id id;
  replace_result result = replace_result::unchanged;
  if (fd >= 0 && identify_handle(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &id) &&
      same_file(id, replacement.id)) {
    result = write_in_place(fd, fresh, replacement);
  }
  if (fd >= 0) _close(fd);
  return result;
}

}  // namespace

bool path_exists(const std::string& path) {
  if (holds_zero_byte(path)) return false;
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool identify_file(const std::string& path, file_id* id) {
  return !holds_zero_byte(path) && identify_path(path, id, nullptr);
}

bool remove_file(const std::string& path) {
  if (holds_zero_byte(path)) return false;
  const bool removed = DeleteFileA(path.c_str()) != 0;
  forget_on_interrupt(path);
  return removed;
}

bool is_device(const std::string& path) {
  DWORD type = FILE_TYPE_UNKNOWN;
  return !holds_zero_byte(path) && kind_of(path, &type) == entry_kind::other &&
         type == FILE_TYPE_CHAR;
}

replace_start start_replacement(const std::string& path, file_replacement& replacement,
                                text_writer& writer) {
  replacement = file_replacement();
  // An empty name names no file, and would name the working folder here.
  if (path.empty() || holds_zero_byte(path)) return replace_start::refused;
  const entry_kind kind = kind_of(path);
  if (kind == entry_kind::other) return replace_start::not_a_file;
  const bool exists = kind == entry_kind::disk_file;
  replacement.target = path;
  // The file itself where path is a symbolic link; this run must be allowed to write it.
  unsigned long long links = 1;
  if (exists && !(may_write(path) && final_target(path, &replacement.target) &&
                  identify_path(replacement.target, &replacement.id, &links)))
    return replace_start::refused;
  const int fd = create_fresh(directory_of(replacement.target) + "\\.kit-", "", &replacement.fresh);
  if (fd < 0 && !exists) return replace_start::refused;
  if (fd >= 0 && exists) take_over_security(replacement.target, replacement.fresh);
  replacement.in_place = exists && rewrite_in_place(fd >= 0, links);
  stage_new_content(fd, replacement, writer);
  return replace_start::started;
}

replace_result finish_replacement(file_replacement& replacement, text_writer& writer) {
  int fd = -1;
  bool ok =
      release_staged(replacement, writer, &fd) && (!replacement.flush || fd < 0 || sync_file(fd));
  replace_result result = replace_result::unchanged;
  if (ok && replacement.in_place) result = rewrite_reopened(replacement, fd);
  if (fd >= 0 && _close(fd) != 0) ok = false;
  if (ok && !replacement.in_place && move_into_place(replacement.fresh, replacement.target)) {
    forget_on_interrupt(replacement.fresh);
    replacement.fresh.clear();
    result = replace_result::replaced;
  }
  abandon_replacement(replacement, writer);
  return result;
}

bool create_unique_file(const std::string& prefix, const std::string& suffix, text_writer& writer,
                        std::string* name) {
  if (holds_zero_byte(prefix + suffix) ||
      (prefix + suffix).find_first_of("\\/:") != std::string::npos) {
    return false;
  }
  int fd = create_fresh(prefix, suffix, name);
  if (fd < 0) return false;
  adopt_writer(writer, fd);
  return true;
}
