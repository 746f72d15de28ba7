// Rewrites the response file given as input for the linker chosen by its
// first byte and checks the result against the rules applied to whole
// tokens: only the entry with the first ".res" token and the entry before it
// may change, and they change exactly as the separator rules say.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bindrun/bindrun.h"
#include "common/response_file.h"
#include "fuzz/fuzz_support.h"

namespace {

bool separates(char c) {
  return c == ' ' || c == ',' || c == '\n';
}

// The entry and the start of the first token holding ".res"; false if none.
bool find_resource_token(const std::vector<std::string>& entries, std::size_t* index,
                         std::size_t* start, std::string* name) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    for (std::size_t s = 0; s < entry.size();) {
      std::size_t e = s;
      while (e < entry.size() && !separates(entry[e])) ++e;
      std::size_t found = entry.substr(s, e - s).find(".res");
      if (found != std::string::npos) {
        *index = i;
        *start = s;
        *name = entry.substr(s, found + 4);
        return true;
      }
      s = e + 1;
    }
  }
  return false;
}

std::string without_resource(const std::string& entry, std::size_t start, std::size_t length) {
  std::string before = entry.substr(0, start);
  if (start >= 2 && entry[start - 1] == ',') {
    before.pop_back();
  } else if (start >= 3 && entry[start - 2] == ',') {
    before.resize(before.size() - 2);
  }
  std::string after = entry.substr(start + length);
  if (!after.empty() && after[0] == ' ') after.erase(0, 1);
  if (start == 0 && after.rfind("\n", 0) == 0) {
    after.erase(0, 1);
  } else if (start == 0 && after.rfind(",\n", 0) == 0) {
    after.erase(0, 2);
  }
  return before + after;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const char* const linkers[] = {"ilink", "ILink", "wlink", "WLINK", "tlink", "ilink.exe"};
  const std::string link = linkers[data[0] % 6];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::vector<std::string> entries =
      kit_fuzz_entries(bytes, kResponseLineLimit, kBindrunMaxLines);
  const bind_rewrite got = rewrite_for_bind(entries, link);

  std::vector<std::string> want = entries;
  std::size_t index = 0, start = 0;
  std::string name;
  const bool found = find_resource_token(entries, &index, &start, &name);
  if (found) {
    want[index] = without_resource(entries[index], start, name.size());
    const char mark = link == "ilink" || link == "ILink"   ? '+'
                      : link == "wlink" || link == "WLINK" ? ','
                                                           : '\0';
    if (index > 0 && mark != '\0') {
      // Only a mark right before the line feed announces a next item.
      std::string& previous = want[index - 1];
      const std::size_t n = previous.size();
      if (n >= 2 && previous[n - 2] == mark && previous[n - 1] == '\n') previous.erase(n - 2, 1);
    }
  }
  if (got.res_found != found) kit_fuzz_fail("res_found differs");
  if (found && got.res_name != name) kit_fuzz_fail("the resource name differs");
  if (got.lines != want) kit_fuzz_fail("the rewritten entries differ");
  std::string text;
  for (const std::string& entry : want) text += entry;
  if (response_text(got.lines) != text) kit_fuzz_fail("the response text differs");
  return 0;
}
