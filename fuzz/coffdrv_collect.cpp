// Collects a command line and its response files into a response file for
// gcc, in a scratch folder that holds a few libraries, a folder and a
// device (which must be refused, or reading it would never end).
// The input is a list of fields separated by 0x01 bytes: the value of LIB
// (unset when it holds a zero byte, which no environment can), then the
// arguments, then (after an empty field) the contents of the
// response files r0 to r3.  An argument "@name" names a file of the scratch
// folder; other characters than letters, digits, '.', '_' and '-' are
// dropped from the name, so that no target reads outside it.  The target
// works in the scratch folder: give libFuzzer its corpus folder and
// -artifact_prefix as absolute paths.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "coffdrv/coffdrv.h"
#include "common/file_system.h"
#include "fuzz/fuzz_support.h"

namespace {

const int kResponseFiles = 4;
const char* const kLibraries[] = {"lib/libm.a", "lib/libc.a", "lib2/libm.a", "lib2/libx.a"};

void prepare_scratch() {
  static const bool ready = [] {
    const std::string& dir = kit_fuzz_scratch();
    if (::chdir(dir.c_str()) != 0) kit_fuzz_fail("cannot enter the scratch folder");
    for (const char* folder : {"lib", "lib2", "folder.rsp"}) ::mkdir(folder, 0700);
    for (const char* library : kLibraries) kit_fuzz_write_file(library, "!<arch>\n");
    (void)!::symlink("/dev/zero", "zero.rsp");
    return true;
  }();
  (void)ready;
}

std::string scratch_argument(const std::string& argument) {
  std::string name;
  for (char c : argument.substr(1)) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
        c == '_' || c == '-')
      name += c;
  }
  return "@" + name;
}

// The words gcc reads from a response file: white space separates them, a
// backslash takes the next byte as it is, and quotes group (none are left
// unescaped in what coffdrv writes, but gcc's rule is followed all the same).
std::vector<std::string> gcc_words(const std::string& text) {
  auto white = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < text.size()) {
    if (white(text[at])) {
      ++at;
      continue;
    }
    std::string word;
    char quote = 0;
    for (; at < text.size() && (quote || !white(text[at])); ++at) {
      const char c = text[at];
      if (c == '\\' && at + 1 < text.size()) {
        word += text[++at];
      } else if (quote ? c == quote : c == '\'' || c == '"') {
        quote = quote ? 0 : c;
      } else {
        word += c;
      }
    }
    words.push_back(word);
  }
  return words;
}

// The name gcc reads for a file: one that begins with "@" is written as
// the same file in the current folder, which gcc would otherwise read as a
// file of words.
std::string as_gcc_reads(const std::string& name) {
  return name[0] == '@' ? "./" + name : name;
}

bool ends_with(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  prepare_scratch();
  std::vector<std::string> fields =
      kit_fuzz_split(std::string_view(reinterpret_cast<const char*>(data), size), '\x01');
  const std::string lib = fields[0];
  std::vector<std::string> arguments = {"coffdrv"};
  std::size_t at = 1;
  for (; at < fields.size() && !fields[at].empty(); ++at) {
    arguments.push_back(fields[at][0] == '@' ? scratch_argument(fields[at]) : fields[at]);
  }
  // Every run writes all of them, so that none is left from an earlier input.
  for (int file = 0; file < kResponseFiles; ++file) {
    ++at;
    kit_fuzz_write_file("r" + std::to_string(file), at < fields.size() ? fields[at] : "");
  }

  const std::vector<std::string> lib_dirs =
      split_lib_path(lib.find('\0') == std::string::npos ? lib.c_str() : nullptr);
  for (const std::string& dir : lib_dirs) {
    if (dir.empty() || dir.find(';') != std::string::npos) kit_fuzz_fail("a bad LIB entry");
  }
  const link_plan plan = collect_arguments(arguments, lib_dirs);
  const std::vector<std::string> words = gcc_words(response_file_text(plan));
  std::vector<std::string> items;
  for (const std::string& item : plan.items) {
    if (!item.empty()) items.push_back(as_gcc_reads(item));
  }
  for (const std::string& word : words) {
    if (word[0] == '@') kit_fuzz_fail("a word gcc would read as a file of words");
  }
  if (words.size() < items.size() || !std::equal(items.begin(), items.end(), words.begin()))
    kit_fuzz_fail("gcc does not read the items first");
  if (plan.status == collect_status::response_file_not_opened &&
      (plan.failed_argument.empty() || plan.failed_argument[0] != '@'))
    kit_fuzz_fail("an unopened response file reported without its '@' argument");
  if (plan.status != collect_status::ok) {
    if (words != items) kit_fuzz_fail("more than the items after a failure");
    return 0;
  }

  if (!plan.base_name_seen && !plan.libraries.empty())
    kit_fuzz_fail("a library recorded before the main name");
  for (const std::string& library : plan.libraries) {
    // Found as DOS would find it, its name may end in ".A".
    if (!ends_with(library, ".a") && !ends_with(library, ".A"))
      kit_fuzz_fail("a library that does not end in .a");
    // Recorded unchanged only when no directory of LIB has it.
    if (path_exists(library)) continue;
    for (const std::string& dir : lib_dirs) {
      if (path_exists(dir + "/" + library)) kit_fuzz_fail("a library in LIB was not found");
    }
  }
  std::vector<std::string> expected = items;
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::string& library : plan.libraries) expected.push_back(as_gcc_reads(library));
  }
  expected.push_back("-o");
  if (!plan.base_name.empty()) expected.push_back(as_gcc_reads(plan.base_name));
  if (words != expected)
    kit_fuzz_fail("gcc does not read the libraries twice and the output after the items");
  return 0;
}
