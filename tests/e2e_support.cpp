#include "tests/e2e_support.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

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

// Variable names are the same regardless of case on Windows.
bool same_name(const std::string& a, const std::string& b) {
#ifdef _WIN32
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
#else
  return a == b;
#endif
}

std::string tool_name(std::string started_as) {
#ifdef _WIN32
  std::size_t slash = started_as.find_last_of("\\/");
  if (slash != std::string::npos) started_as.erase(0, slash + 1);
  if (started_as.size() > 4 && started_as.compare(started_as.size() - 4, 4, ".exe") == 0) {
    started_as.resize(started_as.size() - 4);
  }
#endif
  return started_as;
}

}  // namespace

optional_tool configured_tool(const std::string& name) {
  // Each name, its path and the Debian package that brings it.
  static const char* const kTools[][3] = {
      {"make", KIT_MAKE, "make"},       {"ninja", KIT_NINJA, "ninja-build"},
      {"nasm", KIT_NASM, "nasm"},       {"strip", KIT_STRIP, "binutils"},
      {"strace", KIT_STRACE, "strace"}, {"unshare", KIT_UNSHARE, "util-linux"}};
  for (const auto& tool : kTools) {
    if (name == tool[0]) {
      return {tool[1], name + " was not found when the build was configured (apt-get install " +
                           tool[2] + ")"};
    }
  }
  throw std::logic_error("no optional tool " + name);
}

std::vector<std::string> merge_environment(const std::vector<std::string>& base,
                                           const run_options& options) {
  std::vector<std::string> env;
  for (const std::string& entry : base) {
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& change : options.env) replaced = replaced || same_name(change.first, name);
    for (const auto& gone : options.unset_env) replaced = replaced || same_name(gone, name);
    if (!replaced) env.push_back(entry);
  }
  for (const auto& change : options.env) env.push_back(change.first + "=" + change.second);
  return env;
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

void make_dos_tree(const std::string& root) {
  for (const char* folder : {"/inc", "/lib", "/Src"}) make_dir(root + folder);
  write_file(root + "/inc/x.inc", "x equ 1\r\n");
  write_file(root + "/lib/libm.a", "");
  write_file(root + "/dup.inc", "");
#ifndef _WIN32
  write_file(root + "/Dup.inc", "");
#endif
}

std::vector<tool_run> read_tool_log(const std::string& log_path) {
  std::vector<tool_run> runs;
  std::istringstream log(read_file(log_path));
  std::string line;
  while (std::getline(log, line)) {
    if (line == "run") {
      runs.emplace_back();
    } else if (line.rfind("arg ", 0) == 0) {
      std::string arg = unescape(line.substr(4));
      if (runs.back().argv.empty()) {
        runs.back().started_as = arg;
        arg = tool_name(arg);
      }
      runs.back().argv.push_back(arg);
    } else if (line.rfind("cwd ", 0) == 0) {
      runs.back().cwd = unescape(line.substr(4));
    } else if (line.rfind("signal ", 0) == 0) {
      runs.back().ended_by = std::stoi(line.substr(7));
    } else if (line.rfind("file ", 0) == 0) {
      std::size_t space = line.find(' ', 5);
      runs.back().files.emplace_back(unescape(line.substr(5, space - 5)),
                                     unescape(line.substr(space + 1)));
    }
  }
  return runs;
}

tool_site::tool_site(const std::vector<std::string>& tools) {
  const std::string tool_dir = dir / "tools";
  make_dir(tool_dir);
  make_dir(work);
  for (const std::string& tool : tools) install_fake_tool(tool_dir, tool);
  options.cwd = work;
  options.env = {{"PATH", tool_dir}, {"FAKE_TOOL_LOG", log}};
  options.unset_env = {"LIB"};
}

run_result tool_site::run(const std::string& program, const std::vector<std::string>& args) const {
  return run_program(kit_program(program), args, options);
}

std::vector<std::string> tool_site::started() const {
  std::vector<std::string> lines;
  for (const tool_run& run : runs()) {
    std::string line;
    for (const std::string& arg : run.argv) line += (line.empty() ? "" : " ") + arg;
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> tool_site::left() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(work)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}
