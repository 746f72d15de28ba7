// The POSIX side of the end-to-end test helpers.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "tests/e2e_support.h"

extern char** environ;

namespace {

void remove_tree(const std::string& path) {
  std::string command = "rm -rf '" + path + "'";
  if (std::system(command.c_str()) != 0) std::perror("rm -rf");
}

}  // namespace

std::string kit_program(const std::string& name) {
  return std::string(KIT_BIN_DIR) + "/" + name;
}

scratch_dir::scratch_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/kit-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
  path = buffer.data();
}

scratch_dir::~scratch_dir() {
  remove_tree(path);
}

bool file_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

void make_dir(const std::string& path) {
  if (mkdir(path.c_str(), 0777) != 0) throw std::runtime_error("cannot make " + path);
}

run_result run_program(const std::string& path, const std::vector<std::string>& args,
                       const run_options& options) {
  scratch_dir capture;
  const std::string out_path = options.stdout_path.empty() ? capture / "out" : options.stdout_path;
  const std::string err_path = capture / "err";
  // Shared like /tmp, also with a program run as another user.
  const std::string tmp = capture / "tmp";
  make_dir(tmp);
  if (chmod(capture.path.c_str(), 0711) != 0 || chmod(tmp.c_str(), 01777) != 0)
    throw std::runtime_error("cannot share " + tmp);
  run_options with_tmp = options;
  if (std::none_of(options.env.begin(), options.env.end(),
                   [](const auto& change) { return change.first == "TMPDIR"; }))
    with_tmp.env.emplace_back("TMPDIR", tmp);
  std::vector<std::string> base;
  for (char** e = environ; *e; ++e) base.push_back(*e);
  std::vector<std::string> env = merge_environment(base, with_tmp);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_text = options.wrapper;
  argv_text.push_back(path);
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int in = open(options.stdin_path.empty() ? "/dev/null" : options.stdin_path.c_str(), O_RDWR);
    if (out < 0 || err < 0 || in < 0) _exit(121);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(122);
    for (int signal_number : options.ignored_signals) signal(signal_number, SIG_IGN);
    if (options.file_size_limit >= 0) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(options.file_size_limit);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(123);
    }
    if (options.user >= 0) {
      const gid_t group = static_cast<gid_t>(options.user);
      if (setgroups(1, &group) != 0 || setgid(group) != 0 ||
          setuid(static_cast<uid_t>(options.user)) != 0)
        _exit(125);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(124);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (!std::filesystem::is_empty(tmp)) ADD_FAILURE() << path << " left files in its TMPDIR";
  run_result result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (options.stdout_path.empty()) result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

void install_fake_tool(const std::string& dir, const std::string& name) {
  const std::string target = dir + "/" + name;
  if (symlink(kit_program("fake_tool").c_str(), target.c_str()) != 0) {
    throw std::runtime_error("cannot install fake tool " + target);
  }
}

std::vector<std::string> with_fault(const std::string& trace, const std::string& inject,
                                    const std::string& path) {
  // Some machines let no process trace another.
  static const std::string strace = [] {
    const std::string path = configured_tool("strace").path;
    const std::string check = "'" + path + "' -o /dev/null true >/dev/null 2>&1";
    return !path.empty() && std::system(check.c_str()) == 0 ? path : std::string();
  }();
  if (strace.empty()) return {};
  // LeakSanitizer cannot work under a tracer, and would fail the run.
  std::vector<std::string> wrapper = {strace,      "-qq", "-o",
                                      "/dev/null", "-E",  "ASAN_OPTIONS=detect_leaks=0"};
  if (!path.empty()) wrapper.insert(wrapper.end(), {"-P", path});
  wrapper.insert(wrapper.end(), {"-e", "trace=" + trace, "-e", "inject=" + inject});
  return wrapper;
}

small_disk::small_disk(const std::string& folder, long long size) : dir(folder) {
  // Once per test process: its mounts are its own from then on.
  static const bool own_mounts =
      unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  const std::string options = "size=" + std::to_string(size) + ",mode=0777";
  mounted = own_mounts && mount("kit-test", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

small_disk::~small_disk() {
  if (mounted) umount2(dir.c_str(), MNT_DETACH);
}

fifo_feeder::fifo_feeder(const std::string& path, const std::string& bytes) {
  if (mkfifo(path.c_str(), 0666) != 0) throw std::runtime_error("cannot make FIFO " + path);
  pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Late enough that a reader that does not wait for a writer finds none.
    usleep(100 * 1000);
    int fd = open(path.c_str(), O_WRONLY);
    bool written =
        fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    _exit(written ? 0 : 1);
  }
}

fifo_feeder::~fifo_feeder() {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

fifo_without_reader::fifo_without_reader(const std::string& path) {
  if (mkfifo(path.c_str(), 0666) != 0) throw std::runtime_error("cannot make FIFO " + path);
  pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) _exit(open(path.c_str(), O_RDONLY) >= 0 ? 0 : 1);
}

fifo_without_reader::~fifo_without_reader() {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

own_terminal::own_terminal() {
  controller = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  const char* name = controller >= 0 && grantpt(controller) == 0 && unlockpt(controller) == 0
                         ? ptsname(controller)
                         : nullptr;
  if (!name) throw std::runtime_error("cannot make a terminal");
  path = name;
  // A line, then the end-of-file character at the start of the next.
  if (write(controller, "x.obj\n\x04", 7) != 7) throw std::runtime_error("cannot fill " + path);
}

own_terminal::~own_terminal() {
  close(controller);
}

bool refuse_new_files(const std::string& dir, std::vector<std::string>* wrapper) {
  if (chmod(dir.c_str(), 0555) != 0) throw std::runtime_error("cannot protect " + dir);
  wrapper->clear();
  if (geteuid() != 0) return true;
  // Root keeps its rights only over files whose owner the namespace maps.
  static const std::string unshare = [] {
    const std::string path = configured_tool("unshare").path;
    const std::string check = "'" + path + "' --user true 2>&1";
    return !path.empty() && std::system(check.c_str()) == 0 ? path : std::string();
  }();
  if (unshare.empty()) return false;
  *wrapper = {unshare, "--user"};
  return true;
}
