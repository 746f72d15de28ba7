// Stands in for a linker, binder or compiler in the end-to-end tests.
//
// Appends a record of how it was started to the file named by FAKE_TOOL_LOG:
// its arguments, its working directory and the bytes of every file named by
// an "@file" argument as they are while it runs.  It exits with the status
// that FAKE_TOOL_EXIT gives for its name ("tlink=2,gcc=1"), else 0.  Its
// name is the last path component of argv[0], without ".exe".
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <direct.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

namespace {

std::string escape(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c <= 0x20 || c >= 0x7f || c == '\\') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool read_file(const std::string& path, std::string* content) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content->append(buffer, n);
  std::fclose(file);
  return true;
}

std::string tool_name(const char* argv0) {
  std::string name = argv0;
  std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
    name.resize(name.size() - 4);
  return name;
}

int chosen_status(const std::string& name) {
  const char* table = std::getenv("FAKE_TOOL_EXIT");
  if (!table) return 0;
  std::string list = table;
  std::size_t begin = 0;
  while (begin < list.size()) {
    std::size_t end = list.find(',', begin);
    if (end == std::string::npos) end = list.size();
    std::string entry = list.substr(begin, end - begin);
    std::size_t equals = entry.find('=');
    if (equals != std::string::npos && entry.substr(0, equals) == name) {
      return std::atoi(entry.c_str() + equals + 1);
    }
    begin = end + 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string record = "run\n";
  for (int i = 0; i < argc; ++i) record += "arg " + escape(argv[i]) + "\n";
  char cwd[4096];
  record += "cwd " + escape(getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
  for (int i = 1; i < argc; ++i) {
    std::string content;
    if (argv[i][0] == '@' && read_file(argv[i] + 1, &content)) {
      record += "file " + escape(argv[i] + 1) + " " + escape(content) + "\n";
    }
  }
  record += "end\n";
  if (const char* log = std::getenv("FAKE_TOOL_LOG")) {
    if (FILE* file = std::fopen(log, "ab")) {
      std::fwrite(record.data(), 1, record.size(), file);
      std::fclose(file);
    }
  }
  return chosen_status(tool_name(argv[0]));
}
