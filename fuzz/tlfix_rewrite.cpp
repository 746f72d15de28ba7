// Rewrites the response file given as input for TLINK and checks the result
// against a reading by whole tokens: the first token (in entry order) that
// holds ".res" loses its name part and at most one space after it, the name
// goes to the end after a line feed, and the first token holding ".def" among
// what stays gives the module-definition name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/response_file.h"
#include "fuzz/fuzz_support.h"
#include "tlfix/tlfix.h"

namespace {

bool separates(char c) {
  return c == ' ' || c == ',' || c == '\n';
}

struct token_hit {
  std::size_t entry = 0;
  std::size_t start = 0;  // of the token
  std::string name;       // from the start up to and including the extension
};

// The first token of the entries holding ext.
bool first_token_with(const std::vector<std::string>& entries, const std::string& ext,
                      token_hit* hit) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    std::size_t start = 0;
    while (start < entry.size()) {
      std::size_t end = start;
      while (end < entry.size() && !separates(entry[end])) ++end;
      std::size_t found = entry.substr(start, end - start).find(ext);
      if (found != std::string::npos) {
        *hit = {i, start, entry.substr(start, found + ext.size())};
        return true;
      }
      start = end + 1;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> entries =
      kit_fuzz_entries(bytes, kResponseLineLimit, kTlfixMaxLines);
  const tlfix_rewrite got = rewrite_for_tlink(entries);

  std::vector<std::string> kept = entries;
  token_hit res;
  const bool res_found = first_token_with(entries, ".res", &res);
  if (res_found) {
    std::string& entry = kept[res.entry];
    std::size_t end = res.start + res.name.size();
    if (end < entry.size() && entry[end] == ' ') ++end;
    entry.erase(res.start, end - res.start);
  }
  std::string text;
  for (const std::string& entry : kept) text += entry;
  text += '\n';
  if (res_found) text += res.name;

  if (got.res_found != res_found) kit_fuzz_fail("res_found differs");
  if (res_found && got.res_name != res.name) kit_fuzz_fail("the resource name differs");
  if (got.text != text) kit_fuzz_fail("the rewritten text differs");

  token_hit def;
  const bool def_found = first_token_with(kept, ".def", &def);
  if (got.def_found != def_found) kit_fuzz_fail("def_found differs");
  if (def_found && got.def_name != def.name) kit_fuzz_fail("the module-definition name differs");
  return 0;
}
