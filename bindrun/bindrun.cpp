#include "bindrun/bindrun.h"

#include "common/ascii.h"
#include "common/ext_token.h"

namespace {

// Equal over their whole length with only the letters A to Z folded: "ILink"
// names ilink, "ilink.exe" does not.
bool same_tool_name(std::string_view a, std::string_view b) {
  return same_folded(a, b);
}

// ilink joins items with a '+' and wlink with a ',' at the end of a line;
// with the resource name gone, the item before it must not announce one
// more.  Only a mark right before the line feed is such a continuation: an
// entry without a line feed is a piece of a longer line (or was cut by an
// end-of-file mark), and its last byte is data that must not be lost.
void repair_previous(std::string& previous, const std::string& link) {
  char mark;
  if (same_tool_name(link, "ilink")) {
    mark = '+';
  } else if (same_tool_name(link, "wlink")) {
    mark = ',';
  } else {
    return;
  }
  const std::size_t n = previous.size();
  if (n >= 2 && previous[n - 2] == mark && previous[n - 1] == '\n') previous.erase(n - 2, 1);
}

// The line without the resource name of `length` bytes at `at`, and without
// the separator that joined it to the items around it.
std::string take_out_resource(const std::string& line, std::size_t at, std::size_t length) {
  std::string out = line.substr(0, at);
  if (at >= 2 && line[at - 1] == ',') {
    out.pop_back();
  } else if (at >= 3 && line[at - 2] == ',') {
    out.resize(out.size() - 2);
  }
  std::size_t rest = at + length;
  if (rest < line.size() && line[rest] == ' ') ++rest;
  if (at == 0) {
    // A line that held nothing but the name goes away entirely.
    if (rest < line.size() && line[rest] == '\n') {
      ++rest;
    } else if (rest + 1 < line.size() && line[rest] == ',' && line[rest + 1] == '\n') {
      rest += 2;
    }
  }
  out.append(line, rest, std::string::npos);
  return out;
}

// exe_file cut at its first '.', directories included, with ".exe" added.
std::string bind_exe_name(const std::string& exe_file) {
  return exe_file.substr(0, exe_file.find('.')) + ".exe";
}

}  // namespace

bind_rewrite rewrite_for_bind(std::vector<std::string> lines, const std::string& link) {
  bind_rewrite result;
  const ext_token_place res = first_ext_token(lines, ".res");
  if (res.found) {
    result.res_name = lines[res.entry].substr(res.position, res.length);
    // Every entry before this one is still as it was read.
    if (res.entry > 0) repair_previous(lines[res.entry - 1], link);
    lines[res.entry] = take_out_resource(lines[res.entry], res.position, res.length);
    result.res_found = true;
  }
  result.lines = std::move(lines);
  return result;
}

std::string response_text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

std::vector<std::string> linker_arguments(const bind_arguments& args) {
  const std::string rsp_arg = "@" + args.link_rsp_file;
  if (same_tool_name(args.link, "ilink")) return {args.link, "/nofree", "/nol", rsp_arg};
  return {args.link, rsp_arg};
}

binder_run plan_binder_run(const bind_arguments& args, bool res_found,
                           const std::string& res_name) {
  binder_run run;
  if (same_tool_name(args.rc, "wbind")) {
    const std::string exe = bind_exe_name(args.exe_file);
    run.wanted = true;
    if (res_found) {
      run.arguments = {args.rc, exe, "-q", "-R", "-q", res_name, exe};
    } else {
      // Without resources wbind only marks the executable; the build does
      // not depend on that.
      run.arguments = {args.rc, exe, "-n", "-q"};
      run.status_counts = false;
    }
  } else if (res_found) {
    run.wanted = true;
    if (same_tool_name(args.link, "wlink")) {
      run.arguments = {args.rc, "-q", res_name, args.exe_file};
    } else {
      run.arguments = {args.rc, res_name, args.exe_file};
    }
  }
  return run;
}
