// The Windows side of the end-to-end test helpers.
#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "common/command_line.h"
#include "tests/e2e_support.h"

namespace {

// Paths of the build tree are POSIX paths when the tests were cross-built
// and run under wine, which shows the POSIX root as drive Z:.
std::string native_path(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

void remove_tree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

HANDLE open_for_child(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::vector<std::string> current_environment() {
  std::vector<std::string> env;
  char* block = GetEnvironmentStringsA();
  for (const char* entry = block; *entry; entry += std::strlen(entry) + 1) env.push_back(entry);
  FreeEnvironmentStringsA(block);
  return env;
}

}  // namespace

std::string kit_program(const std::string& name) {
  return native_path(std::string(KIT_BIN_DIR) + "/" + name + ".exe");
}

scratch_dir::scratch_dir() {
  char base[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length > MAX_PATH) throw std::runtime_error("no temporary folder");
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = std::string(base) + "kit-test-" +
                            std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a scratch folder");
}

scratch_dir::~scratch_dir() {
  remove_tree(path);
}

bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void make_dir(const std::string& path) {
  if (!CreateDirectoryA(path.c_str(), nullptr)) throw std::runtime_error("cannot make " + path);
}

run_result run_program(const std::string& path, const std::vector<std::string>& args,
                       const run_options& options) {
  if (options.file_size_limit >= 0) throw std::runtime_error("no file size limit on Windows");
  scratch_dir capture;
  const std::string out_path = options.stdout_path.empty() ? capture / "out" : options.stdout_path;
  const std::string err_path = capture / "err";
  HANDLE out = open_for_child(out_path);
  HANDLE err = open_for_child(err_path);
  std::vector<std::string> argv = {path};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string line = quote_argument(path);
  for (std::size_t i = 1; i < argv.size(); ++i) line += " " + quote_argument(argv[i]);
  std::string block;
  for (const std::string& entry : merge_environment(current_environment(), options)) {
    block += entry;
    block += '\0';
  }
  block += '\0';

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process;
  BOOL started =
      CreateProcessA(path.c_str(), &line[0], nullptr, nullptr, TRUE, 0, &block[0],
                     options.cwd.empty() ? nullptr : options.cwd.c_str(), &startup, &process);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) throw std::runtime_error("cannot start " + path);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  run_result result;
  // As a POSIX parent sees it, so that the same expectations hold.
  result.status = static_cast<int>(code & 0xff);
  if (options.stdout_path.empty()) result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

void install_fake_tool(const std::string& dir, const std::string& name) {
  const std::string target = dir + "\\" + name + ".exe";
  if (!CopyFileA(kit_program("fake_tool").c_str(), target.c_str(), TRUE)) {
    throw std::runtime_error("cannot install fake tool " + target);
  }
}
