#include "tests/e2e_support.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

void remove_tree(const std::string& path) {
  std::string command = "rm -rf '" + path + "'";
  if (std::system(command.c_str()) != 0) std::perror("rm -rf");
}

std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> child_environment(const run_options& options) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& change : options.env) replaced = replaced || change.first == name;
    for (const auto& gone : options.unset_env) replaced = replaced || gone == name;
    if (!replaced) env.push_back(entry);
  }
  for (const auto& change : options.env) env.push_back(change.first + "=" + change.second);
  return env;
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

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
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
  std::vector<std::string> env = child_environment(options);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_text = {path};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(121);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(122);
    if (options.file_size_limit >= 0) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(options.file_size_limit);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(123);
    }
    execve(path.c_str(), argv.data(), envp.data());
    _exit(124);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
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

std::vector<tool_run> read_tool_log(const std::string& log_path) {
  std::vector<tool_run> runs;
  std::istringstream log(read_file(log_path));
  std::string line;
  while (std::getline(log, line)) {
    if (line == "run") {
      runs.emplace_back();
    } else if (line.rfind("arg ", 0) == 0) {
      runs.back().argv.push_back(unescape(line.substr(4)));
    } else if (line.rfind("cwd ", 0) == 0) {
      runs.back().cwd = unescape(line.substr(4));
    } else if (line.rfind("file ", 0) == 0) {
      std::size_t space = line.find(' ', 5);
      runs.back().files.emplace_back(unescape(line.substr(5, space - 5)),
                                     unescape(line.substr(space + 1)));
    }
  }
  return runs;
}
