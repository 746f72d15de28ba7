#include "srcsplice/srcsplice.h"

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <random>

#include "tests/support/scan_levels.h"
#include "tests/support/splice_oracle.h"
#include "tests/support/test_streams.h"

namespace {

using files = std::map<std::string, std::string>;
const std::string kOn = ";BEGIN EXPAND INCLUDE\n", kOff = ";END EXPAND INCLUDE\n";
const std::string kInc = "include \"a.inc\"\n", kName31(31, 'n');

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}
std::string repeated(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}
// What one expanded include line becomes.
std::string framed(const std::string& name, const std::string& line, const std::string& body) {
  return ";---- BEGIN INCLUDED FILE " + name + " ----\n;" + line + body +
         ";---- END INCLUDED FILE " + name + " ----\n";
}

splice_failure expand(const std::string& source, const files& included, std::string* out,
                      scan_level level = best_scan_level()) {
  text_reader input;
  open_memory_reader(input, source);
  text_writer writer;
  open_memory_writer(writer, out);
  include_opener open = [&](const std::string& name, text_reader& reader) {
    auto found = included.find(name);
    if (found == included.end()) return splice_failure::cannot_open;
    open_memory_reader(reader, found->second);
    return splice_failure::none;
  };
  splice_failure failure = expand_stream(input, writer, open, 0, level);
  close_writer(writer);
  return failure;
}

TEST(ExpandStream, CopiesAndExpands) {
  const std::string piece(254, 'x'), nested = "include \"b.inc\"\n", a62(62, 'a');
  const std::string movs = repeated("mov ax, 1\n", 7000),
                    crlf_movs = repeated("mov ax, 1\r\n", 7000);
  struct {
    std::string source;
    files included;
    std::string expected;
  } cases[] = {
      {kOn + kInc + kOff,
       {{"a.inc", "mov ax,1\n"}},
       ";BEGIN EXPAND INCLUDE\n;---- BEGIN INCLUDED FILE a.inc ----\n;include \"a.inc\"\n"
       "mov ax,1\n;---- END INCLUDED FILE a.inc ----\n;END EXPAND INCLUDE\n"},
      {kOn + "include \"a.inc\"", {{"a.inc", ""}}, kOn + framed("a.inc", "include \"a.inc\"", "")},
      {kOn + kInc, {{"a.inc", "a\nb"}}, kOn + framed("a.inc", kInc, "a\nb")},
      {kOn + kInc,
       {{"a.inc", nested + kOn + nested}, {"b.inc", "b\n"}},
       kOn + framed("a.inc", kInc, nested + kOn + framed("b.inc", nested, "b\n"))},
      {kOn + kInc + kInc,
       {{"a.inc", kOn + kOff}},
       kOn + framed("a.inc", kInc, kOn + kOff) + framed("a.inc", kInc, kOn + kOff)},
      {";begin expand include now\n  " + kInc + "INCLUDE \"a.inc\" ; x\n;end EXPAND include\n" +
           kInc,
       {{"a.inc", "a\n"}},
       ";begin expand include now\n  " + kInc + framed("a.inc", "INCLUDE \"a.inc\" ; x\n", "a\n") +
           ";end EXPAND include\n" + kInc},
      {kOn + "include\t\v\f\r\r'my file.inc\"\n",
       {{"my file.inc", "m\n"}},
       kOn + framed("my file.inc", "include\t\v\f\r'my file.inc\"\n", "m\n")},
      {kOn + piece + kInc, {{"a.inc", "a\n"}}, kOn + piece + framed("a.inc", kInc, "a\n")},
      {kOn + "ab\x1A" + kInc,
       {{"a.inc", "a\n\x1Agone\n"}},
       kOn + "ab" + framed("a.inc", kInc, "a\n")},
      {kOn + "include \"" + kName31 + "\"\n",
       {{kName31, ""}},
       kOn + framed(kName31, "include \"" + kName31 + "\"\n", "")},
      // More than a block of lines copied whole after framing text.
      {kOn + kInc + kOff + crlf_movs,
       {{"a.inc", "a\r\n"}},
       kOn + framed("a.inc", kInc, "a\n") + kOff + movs},
      // A lone line feed opens a window, after CR LF lines.
      {a62 + "\r\n\n" + crlf_movs, {}, a62 + "\n\n" + movs},
  };
  for (const auto& c : cases) {
    for (scan_level level : runnable_levels()) {
      std::string out;
      EXPECT_EQ(expand(c.source, c.included, &out, level), splice_failure::none) << c.source;
      EXPECT_EQ(out, crlf(c.expected)) << c.source.substr(0, 80) << " level " << level_name(level);
    }
  }
}

TEST(ExpandStream, CopiesRunsOfLinesAsLineByLine) {
  std::mt19937 random(5);
  // Lines that end in CR LF or in a lone LF (the first line's end decides
  // which runs the scans copy whole), markers and include lines, and in
  // some rounds now and then a lone carriage return, a zero byte, a line
  // cut at 254 bytes or ending about there, a lone line feed about a
  // window after the line path, and near the end a 0x1A.
  const std::vector<std::string> pieces = {"\r\n", "\r\n", "\n", "mov ax, 1", " ", "\t",
                                           ";",    kOn,    kOff, kInc,        "i", "x"};
  const std::vector<std::string> rare = {"\r", std::string(1, '\0'), "\r\r\n", "\x1a"};
  const files included = {{"a.inc", "a\r\n"}};
  std::cout << "Levels compared: bytes up to " << level_name(best_scan_level()) << "\n";
  for (int round = 0; round < 8; ++round) {
    std::string source = round % 2 ? "first\n" : "first\r\n";
    while (source.size() < 30000) {
      const std::size_t pick = random() % 1000;
      if (round >= 4 && pick < 4) {
        const std::size_t length = pick < 2 ? 100 + random() % 300 : 252 + random() % 4;
        source += "\n" + std::string(length, 'x') + pieces[random() % 3];
      } else if (round >= 4 && pick < 6) {
        // A line whose CR LF ends about a window after the last line the
        // line path took, and a lone line feed after it.
        source += "\n" + std::string(60 + random() % 4, 'a') + "\r\n\n";
      } else if (round >= 4 && pick < 10 && (pick < 9 || source.size() > 25000)) {
        source += rare[pick - 6];
      } else {
        source += pieces[pick % pieces.size()];
      }
    }
    std::string want;
    ASSERT_TRUE(splice_line_by_line(source, included, 0, &want));
    for (scan_level level : runnable_levels()) {
      std::string out;
      EXPECT_EQ(splice_failure::none, expand(source, included, &out, level));
      EXPECT_EQ(want, out) << "round " << round << " level " << level_name(level);
    }
  }
}

TEST(ExpandStream, StopsAfterWritingWhatCameBefore) {
  const std::string name32(32, 'n');
  struct {
    std::string bad_line;
    splice_failure failure;
  } cases[] = {
      {"include \"a.inc\n", splice_failure::bad_include_line},
      {"include  \t\n", splice_failure::bad_include_line},
      {"include", splice_failure::bad_include_line},
      {"includelib user32.lib\n", splice_failure::bad_include_line},
      {"include \"" + std::string(300, 'n') + "\"\n", splice_failure::bad_include_line},
      {"include \"" + name32 + "\"\n", splice_failure::name_too_long},
      {"include \"missing.inc\"\n", splice_failure::cannot_open},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(expand(kOn + kInc + c.bad_line + "after\n", {{"a.inc", "a\n"}, {name32, ""}}, &out),
              c.failure)
        << c.bad_line;
    EXPECT_EQ(out, crlf(kOn + framed("a.inc", kInc, "a\n"))) << c.bad_line;
  }
}

TEST(ExpandStream, BoundsNestingAt64Levels) {
  const std::string self = kOn + "include \"self.inc\"\n";
  std::string out;
  EXPECT_EQ(expand(self, {{"self.inc", self}}, &out), splice_failure::nested_too_deeply);
  std::size_t frames = 0;
  for (std::size_t at = out.find("BEGIN INCLUDED"); at != std::string::npos;
       at = out.find("BEGIN INCLUDED", at + 1))
    ++frames;
  EXPECT_EQ(frames, 64u);
}

}  // namespace
