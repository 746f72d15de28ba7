#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e_support.h"

namespace {

const std::string kSplice = kit_program("srcsplice");

run_result splice(const scratch_dir& dir, const std::vector<std::string>& args,
                  run_options options = {}) {
  options.cwd = dir.path;
  return run_program(kSplice, args, options);
}

TEST(Srcsplice, CopiesUnmarkedSourceByteForByte) {
  scratch_dir dir;
  using namespace std::string_literals;
  write_file(dir / "s.asm", "\tinclude \"x.inc\"\r\n;END EXPAND INCLUDE\r\n\r\nend\x00z\r\n"s);
  run_result run = splice(dir, {"s.asm", "d.asm"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(read_file(dir / "d.asm"), read_file(dir / "s.asm"));
  // The dependency file is for the host's build tools: a lone line feed.
  run = splice(dir, {"--depfile", "d d.d", "s.asm", "e.asm"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(read_file(dir / "e.asm"), read_file(dir / "s.asm"));
  EXPECT_EQ(read_file(dir / "d d.d"), "e.asm: s.asm\n");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"s.asm"}, {"a", "b", "c"}, {"--depfile=d.d", "s.asm"}, {"--depfile", "s", "d"}}) {
    run = splice(dir, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Usage: srcsplice <srcfile> <dstfile>\r\n");
  }
}

TEST(Srcsplice, ReportsFailuresAfterWritingWhatCameBefore) {
  scratch_dir dir;
  // Long enough to pass the file size limit, which also bounds standard error.
  const std::string first = std::string(60, ';') + "\r\n", on = ";BEGIN EXPAND INCLUDE\r\n";
  const std::string source = first + on + "include \"gone.inc\"\r\n";
  write_file(dir / "s.asm", source);
  write_file(dir / "self.asm", on + "include \"d3.asm\"\r\n");
  write_file(dir / "inc.asm", on + "include \"a.inc\"\r\n");
  write_file(dir / "a.inc", "keep\r\n");
  write_file(dir / "old.d", "old\n");
  write_file(dir / "pct.asm", on + "include \"50%.inc\"\r\n");
  write_file(dir / "50%.inc", "");
  // Names written for DOS: found in other case, framed as written; one
  // that DOS could not have told from another is missing.
  make_dos_tree(dir.path);
  const std::string dos_include = "include \"INC\\X.INC\"\r\n";
  write_file(dir / "dos.asm", on + dos_include + "include \"DUP.INC\"\r\n");
#ifndef _WIN32
  ASSERT_EQ(symlink("s.asm", (dir / "link.asm").c_str()), 0);
#endif
  const std::string open = "FATAL: Could not open input file\r\n",
                    same = "FATAL: Output file is also an input file\r\n",
                    write = "FATAL: Could not write output file\r\n",
                    dep_write = "FATAL: Could not write dependency file\r\n",
                    dep_name = "FATAL: Name cannot be written to dependency file\r\n",
                    dep_same = "FATAL: Dependency file is also an input or output file\r\n";
  const std::string inc_text = on +
                               ";---- BEGIN INCLUDED FILE a.inc ----\r\n;include \"a.inc\"\r\n" +
                               "keep\r\n;---- END INCLUDED FILE a.inc ----\r\n";
  struct {
    std::string src, dst, err;
    std::string dst_text;  // empty when no destination may be there
    long long size_limit;
    // Given with --depfile when not empty; the text found there after the
    // run, empty when nothing may be there.
    std::string depfile = "", depfile_text = "";
  } cases[] = {
      {"none.asm", "d.asm", open, "", -1},
      {"s.asm", "no/d.asm", open, "", -1},
      {"s.asm", "", open, "", -1},
      {"s.asm", "d.asm", open, first + on, -1, "old.d", "old\n"},
      {"s.asm", "s.asm", same, source, -1},
      {"s.asm", "link.asm", same, source, -1},
      {"link.asm", "./s.asm", same, source, -1},
      // The destination as it was counts: a refusal leaves it whole, and
      // one that was not there cannot be included.
      {"inc.asm", "a.inc", same, "keep\r\n", -1},
      {"self.asm", "d3.asm", open, on, -1},
      {"dos.asm", "d4.asm", open,
       on + ";---- BEGIN INCLUDED FILE INC\\X.INC ----\r\n;" + dos_include +
           "x equ 1\r\n;---- END INCLUDED FILE INC\\X.INC ----\r\n",
       -1},
      {"s.asm", "d2.asm", write, "", 40},  // nothing half-written is left
      // The destination is made whatever became of the dependency file.
      {"inc.asm", "d5.asm", dep_write, inc_text, -1, "no/d.d", ""},
      {"inc.asm", "d6.asm", dep_same, inc_text, -1, "a.inc", "keep\r\n"},
      {"inc.asm", "d7.asm", dep_same, inc_text, -1, "d7.asm", inc_text},
      {"pct.asm", "d8.asm", dep_name,
       on + ";---- BEGIN INCLUDED FILE 50%.inc ----\r\n;include \"50%.inc\"\r\n"
            ";---- END INCLUDED FILE 50%.inc ----\r\n",
       -1, "old.d", "old\n"},
  };
  for (const auto& c : cases) {
#ifdef _WIN32
    // No symbolic links or file size limits to fail with here, nor two
    // files whose names differ only in case.
    if (c.size_limit >= 0 || c.src == "link.asm" || c.dst == "link.asm" || c.src == "dos.asm")
      continue;
#endif
    run_options options;
    options.file_size_limit = c.size_limit;
    std::vector<std::string> args = {c.src, c.dst};
    if (!c.depfile.empty()) args.insert(args.begin(), "--depfile=" + c.depfile);
    run_result run = splice(dir, args, options);
    EXPECT_EQ(run.status, 1) << c.src << " " << c.dst;
    EXPECT_EQ(run.err, c.err) << c.src << " " << c.dst;
    EXPECT_EQ(!c.dst.empty() && file_exists(dir / c.dst), !c.dst_text.empty()) << c.dst;
    if (!c.dst_text.empty()) {
      EXPECT_EQ(read_file(dir / c.dst), c.dst_text) << c.src << " " << c.dst;
    }
    if (!c.depfile.empty()) {
      EXPECT_EQ(file_exists(dir / c.depfile), !c.depfile_text.empty()) << c.depfile;
      if (!c.depfile_text.empty()) {
        EXPECT_EQ(read_file(dir / c.depfile), c.depfile_text) << c.depfile;
      }
    }
  }
#ifndef _WIN32
  // A destination that is no file is written as it is, never replaced:
  // here a FIFO whose reader left before the megabyte came.
  write_file(dir / "big.asm", std::string(1 << 20, 'b'));
  fifo_without_reader fifo(dir / "fifo.asm");
  run_options options;
  options.ignored_signals = {SIGPIPE};
  const run_result run = splice(dir, {"big.asm", "fifo.asm"}, options);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, write);
  struct stat st;
  EXPECT_TRUE(lstat((dir / "fifo.asm").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
#endif
}

#ifndef _WIN32  // the assembler is a Linux tool here
// The same text with every include line turned into nasm's own directive.
std::string with_nasm_includes(std::string text) {
  for (std::size_t at = 0; (at = text.find("include \"", at)) != std::string::npos; at += 2)
    if (at == 0 || text[at - 1] == '\n') text.insert(at, "%");
  return text;
}

TEST(Srcsplice, ExpandedProgramAssemblesLikeNasmIncludes) {
  scratch_dir dir;
  const optional_tool nasm = configured_tool("nasm");
  if (nasm.path.empty()) GTEST_SKIP() << nasm.skip_reason;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"main.asm",
       "org 100h\n;BEGIN EXPAND INCLUDE\ninclude \"dos.inc\"\n;END EXPAND INCLUDE\nstart:\n"
       "  mov dx, msg\n  mov ah, PRINT\n  int 21h\n  mov ax, EXIT\n  int 21h\n"
       ";begin expand include\ninclude \"data.inc\" ; the text\n"},
      {"dos.inc", "PRINT equ 9\nEXIT equ 4C00h"},
      {"data.inc", ";BEGIN EXPAND INCLUDE\ninclude \"msg.inc\"\n;END EXPAND INCLUDE\nalign 4\n"},
      {"msg.inc", "msg db \"Hello, world$\"\r\n"},
  };
  make_dir(dir / "ref");
  for (const auto& f : files) {
    write_file(dir / f.first, f.second);
    write_file(dir / ("ref/" + f.first), with_nasm_includes(f.second));
  }
  ASSERT_EQ(splice(dir, {"main.asm", "spliced.asm"}).status, 0);
  auto assemble = [&nasm](const std::string& cwd, const std::string& source) {
    run_options options;
    options.cwd = cwd;
    return run_program(nasm.path, {"-f", "bin", "-o", "a.com", source}, options).status;
  };
  ASSERT_EQ(assemble(dir.path, "spliced.asm"), 0) << read_file(dir / "spliced.asm");
  ASSERT_EQ(assemble(dir / "ref", "main.asm"), 0);
  EXPECT_FALSE(read_file(dir / "a.com").empty());
  EXPECT_EQ(read_file(dir / "a.com"), read_file(dir / "ref/a.com"));
}

// Includes that nest, one named as DOS wrote it, one with a space in its
// name: the includes as found, for main.asm.
std::vector<std::string> make_include_tree(const scratch_dir& dir) {
  make_dos_tree(dir.path);
  const std::string on = ";BEGIN EXPAND INCLUDE\n";
  write_file(dir / "main.asm", on + "include \"a b.inc\"\ninclude \"INC\\X.INC\"\n");
  write_file(dir / "a b.inc", on + "include \"deep.inc\"\n");
  write_file(dir / "deep.inc", "d equ 1\n");
  return {"a b.inc", "deep.inc", "inc/x.inc"};
}

// Gives the file at path a modification time after the one of reference,
// which may have been written within the same tick of the file clock.
void touch_after(const std::string& path, const std::string& reference) {
  struct stat before;
  struct stat after;
  ASSERT_EQ(stat(reference.c_str(), &before), 0);
  for (int tries = 0; tries < 5000; ++tries) {
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0);
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    if (std::make_pair(after.st_mtim.tv_sec, after.st_mtim.tv_nsec) >
        std::make_pair(before.st_mtim.tv_sec, before.st_mtim.tv_nsec))
      return;
    usleep(1000);
  }
  FAIL() << "the file clock stands still";
}

// A build tool run in dir, with nothing of the environment's own build.
run_result run_tool_in(const scratch_dir& dir, const optional_tool& tool,
                       const std::vector<std::string>& args) {
  run_options options;
  options.cwd = dir.path;
  options.unset_env = {"MAKEFLAGS", "MAKELEVEL", "NINJA_STATUS"};
  return run_program(tool.path, args, options);
}

TEST(Srcsplice, DependencyFileTellsMakeWhatToRemake) {
  const optional_tool make = configured_tool("make");
  if (make.path.empty()) GTEST_SKIP() << make.skip_reason;
  scratch_dir dir;
  const std::vector<std::string> includes = make_include_tree(dir);
  write_file(dir / "Makefile", "out.asm: main.asm\n\t'" + kSplice +
                                   "' --depfile=out.d main.asm out.asm\n-include out.d\n");
  ASSERT_EQ(run_tool_in(dir, make, {}).status, 0);
  EXPECT_EQ(read_file(dir / "out.d"),
            "out.asm: main.asm a\\ b.inc deep.inc inc/x.inc\na\\ b.inc:\ndeep.inc:\ninc/x.inc:\n");
  for (const std::string& include : includes) {
    EXPECT_EQ(run_tool_in(dir, make, {"-q"}).status, 0) << include;
    touch_after(dir / include, dir / "out.asm");
    EXPECT_EQ(run_tool_in(dir, make, {"-q"}).status, 1) << include;
    ASSERT_EQ(run_tool_in(dir, make, {}).status, 0);
  }
  // An include that is no longer used is deleted: make remakes without it.
  write_file(dir / "a b.inc", "");
  ASSERT_EQ(unlink((dir / "deep.inc").c_str()), 0);
  EXPECT_EQ(run_tool_in(dir, make, {}).status, 0);
}

TEST(Srcsplice, DependencyFileTellsNinjaWhatToRemake) {
  const optional_tool ninja = configured_tool("ninja");
  if (ninja.path.empty()) GTEST_SKIP() << ninja.skip_reason;
  scratch_dir dir;
  const std::vector<std::string> includes = make_include_tree(dir);
  write_file(dir / "build.ninja", "rule splice\n  command = '" + kSplice +
                                      "' --depfile=$out.d $in $out\n  depfile = $out.d\n"
                                      "  deps = gcc\nbuild out.asm: splice main.asm\n");
  auto steps = [&] {
    const std::string out = "\n" + run_tool_in(dir, ninja, {"-n"}).out;
    std::size_t count = 0;
    for (std::size_t at = out.find("\n["); at != std::string::npos; at = out.find("\n[", at + 1))
      ++count;
    return count;
  };
  ASSERT_EQ(run_tool_in(dir, ninja, {}).status, 0);
  for (const std::string& include : includes) {
    EXPECT_EQ(steps(), 0u) << include;
    touch_after(dir / include, dir / "out.asm");
    EXPECT_EQ(steps(), 1u) << include;
    ASSERT_EQ(run_tool_in(dir, ninja, {}).status, 0);
  }
}
#endif

}  // namespace
