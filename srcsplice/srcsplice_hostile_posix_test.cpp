// srcsplice on odd and hostile input: binary bytes, huge lines, FIFOs,
// include names that need quoting in a shell, failing reads, interrupts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "tests/e2e_support.h"

namespace {

using namespace std::string_literals;

const std::string kOn = ";BEGIN EXPAND INCLUDE\r\n";

std::string framed(const std::string& name, const std::string& include, const std::string& body) {
  return ";---- BEGIN INCLUDED FILE " + name + " ----\r\n;" + include + body +
         ";---- END INCLUDED FILE " + name + " ----\r\n";
}

TEST(SrcspliceHostile, BinaryHugeAndOddlyNamedFilesAreCopiedWhole) {
  scratch_dir dir;
  const std::string odd =
      "my \"odd\" \xc3\xb1"
      "ame.inc";
  // The name runs to the next double quote, so it cannot hold one; the
  // quotes of the file name above are left out of the include line.
  const std::string odd_include =
      "include \"my 'odd' \xc3\xb1"
      "ame.inc\" ;\0\xff\r\n"s;
  write_file(dir /
                 "my 'odd' \xc3\xb1"
                 "ame.inc",
             "\0\x80\xff\r\n"s);
  const std::string megabyte(1 << 20, 'm');
  write_file(dir / "huge.asm", "db 0\0\xfe\r\n"s + megabyte + "\r\n" + kOn + odd_include);
  write_file(dir / "fifo.asm", kOn + "include \"fifo.inc\"\r\n");

  run_options options;
  options.cwd = dir.path;
  run_result result = run_program(kit_program("srcsplice"), {"huge.asm", odd}, options);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(read_file(dir / odd), "db 0\0\xfe\r\n"s + megabyte + "\r\n" + kOn +
                                      framed("my 'odd' \xc3\xb1"
                                             "ame.inc",
                                             odd_include, "\0\x80\xff\r\n"s));

  // A FIFO, as source or included file, is read once its writer comes.
  {
    fifo_feeder feeder(dir / "fifo.inc", "f\n");
    result = run_program(kit_program("srcsplice"), {"fifo.asm", "out.asm"}, options);
  }
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(read_file(dir / "out.asm"),
            kOn + framed("fifo.inc", "include \"fifo.inc\"\r\n", "f\r\n"));
  unlink((dir / "fifo.inc").c_str());
  fifo_feeder feeder(dir / "fifo.inc", "g\n");
  result = run_program(kit_program("srcsplice"), {"fifo.inc", "out.asm"}, options);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(read_file(dir / "out.asm"), "g\r\n");
}

TEST(SrcspliceHostile, IncludesThatCannotBeReadStopTheRun) {
  scratch_dir dir;
  write_file(dir / "zero", "the name up to its zero byte\r\n");
  own_terminal terminal;  // a device, which may never end
  const struct {
    std::string include;
    std::string err;
  } cases[] = {
      {"include \"zero\0byte.inc\""s, "FATAL: Could not open input file\r\n"},
      {"include \"\"", "FATAL: Could not open input file\r\n"},
      {"include \"" + terminal.path + "\"", "FATAL: Could not open input file\r\n"},
      {"include \"no closing quote", "FATAL: Bad include line\r\n"},
      {"include \t\r\n", "FATAL: Bad include line\r\n"},
      {"include \"" + std::string(32, 'n') + "\"", "FATAL: Include file name too long\r\n"},
  };
  for (const auto& c : cases) {
    write_file(dir / "s.asm", "x\r\n" + kOn + c.include + "\r\ny\r\n");
    run_options options;
    options.cwd = dir.path;
    run_result result = run_program(kit_program("srcsplice"), {"s.asm", "d.asm"}, options);
    EXPECT_EQ(result.status, 1) << c.include;
    EXPECT_EQ(result.err, c.err) << c.include;
    EXPECT_EQ(read_file(dir / "d.asm"), "x\r\n" + kOn) << c.include;
  }
}

TEST(SrcspliceHostile, ReadErrorsAndInterruptsLeaveNoFalseOrHalfDestination) {
  scratch_dir dir;
  const std::string included = kOn + "include \"a.inc\"\r\n";
  const std::string expanded = kOn + framed("a.inc", "include \"a.inc\"\r\n", "a\r\n");
  const struct {
    std::vector<std::string> wrapper;
    int status;
    std::string err, dst_text;
    std::vector<int> ignored_signals = {};
  } cases[] = {
      // A read error is no end of file: the run fails, and nothing read
      // from a file that was not read whole reaches the destination.
      {with_fault("read", "read:error=EIO:when=1", dir / "a.inc"), 1,
       "FATAL: Could not read input file\r\n", "old\r\n"},
      // A read that a signal interrupted is tried again.
      {with_fault("read", "read:error=EINTR:when=1", dir / "a.inc"), 0, "", expanded},
      // Interrupted while writing, or stopped by a file-size limit: the old
      // destination stays whole.
      {with_fault("write", "write:signal=SIGTERM:when=1"), 128 + 15, "", "old\r\n"},
      {with_fault("write", "write:signal=SIGXFSZ:when=1"), 128 + 25, "", "old\r\n"},
      // Unless the run was started with the signal ignored.
      {with_fault("write", "write:signal=SIGTERM:when=1"), 0, "", expanded, {SIGTERM}},
  };
  for (const auto& c : cases) {
    if (c.wrapper.empty())
      GTEST_SKIP() << "strace is missing (apt-get install strace) or cannot trace here";
    write_file(dir / "s.asm", included);
    write_file(dir / "a.inc", "a\r\n");
    write_file(dir / "d.asm", "old\r\n");
    run_options options;
    options.cwd = dir.path;
    options.wrapper = c.wrapper;
    options.ignored_signals = c.ignored_signals;
    run_result result = run_program(kit_program("srcsplice"), {"s.asm", "d.asm"}, options);
    EXPECT_EQ(result.status, c.status) << c.err;
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(read_file(dir / "d.asm"), c.dst_text);
    EXPECT_EQ(system(("test $(ls -A '" + dir.path + "' | wc -l) -eq 3").c_str()), 0)
        << "a fresh file was left behind";
  }
}

// A destination with a second name is rewritten in place: through the
// file it was when the run began, whatever stands under its name by the
// end, and by one run at a time.  No folder for temporary files is needed.
TEST(SrcspliceHostile, TheRewriteInPlaceKeepsToItsFileAndWaitsItsTurn) {
  scratch_dir dir;
  write_file(dir / "secret", "secret\r\n");
  write_file(dir / "tmp", "a file, not a folder");
  write_file(dir / "d.asm", "");
  ASSERT_EQ(link((dir / "d.asm").c_str(), (dir / "other.asm").c_str()), 0);
  run_options options;
  options.cwd = dir.path;
  options.env.emplace_back("TMPDIR", dir / "tmp");
  // Held at its include until the destination's name leads elsewhere.
  write_file(dir / "s.asm", kOn + "include \"pause.inc\"\r\n");
  ASSERT_EQ(mkfifo((dir / "pause.inc").c_str(), 0666), 0);
  std::thread swap([&dir] {
    const int fd = open((dir / "pause.inc").c_str(), O_WRONLY);
    unlink((dir / "d.asm").c_str());
    EXPECT_EQ(symlink("secret", (dir / "d.asm").c_str()), 0);
    EXPECT_EQ(write(fd, "evil\n", 5), 5);
    close(fd);
  });
  run_result result = run_program(kit_program("srcsplice"), {"s.asm", "d.asm"}, options);
  // A run that never opened the include leaves the writer waiting for it.
  const int unblock = open((dir / "pause.inc").c_str(), O_RDONLY | O_NONBLOCK);
  swap.join();
  close(unblock);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(read_file(dir / "secret"), "secret\r\n");
  EXPECT_EQ(read_file(dir / "other.asm"),
            kOn + framed("pause.inc", "include \"pause.inc\"\r\n", "evil\r\n"));

  // A second run that comes while the first writes waits for it, and then
  // writes all of its own text.
  unlink((dir / "d.asm").c_str());
  write_file(dir / "d.asm", "");
  ASSERT_EQ(unlink((dir / "other.asm").c_str()) |
                link((dir / "d.asm").c_str(), (dir / "other.asm").c_str()),
            0);
  run_options slow = options;
  slow.wrapper = with_fault("write", "write:delay_enter=500000:when=2", dir / "d.asm");
  if (slow.wrapper.empty())
    GTEST_SKIP() << "strace is missing (apt-get install strace) or cannot trace here";
  std::string a, b;
  for (int i = 0; i < 100000; ++i) a += "a\r\n", b += "b\r\n";
  write_file(dir / "a.asm", a);
  write_file(dir / "b.asm", b);
  run_result first;
  std::thread first_run([&] {
    first = run_program(kit_program("srcsplice"), {"a.asm", "d.asm"}, slow);
  });
  struct stat st;
  for (int i = 0; i < 10000 && stat((dir / "other.asm").c_str(), &st) == 0 && st.st_size == 0; ++i)
    usleep(1000);
  result = run_program(kit_program("srcsplice"), {"b.asm", "d.asm"}, options);
  first_run.join();
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(read_file(dir / "other.asm") == b) << "the two texts mixed";
}

// A destination rewritten in place on a disk with room for part of the
// longer text keeps its old length and bytes.
TEST(SrcspliceHostile, AFullDiskLeavesTheDestinationRewrittenInPlaceAsItWas) {
  scratch_dir dir;
  make_dir(dir / "disk");
  small_disk disk(dir / "disk", 64 * 1024);
  if (!disk.mounted) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  const std::string old(100, 'o'), dst = dir / "disk/d.asm";
  write_file(dir / "s.asm", std::string(24 * 1024 - 2, 's') + "\r\n");
  write_file(dst, old);
  ASSERT_EQ(link(dst.c_str(), (dir / "disk/other.asm").c_str()), 0);
  // Room for the staged text (seven pages), and two pages of the five the
  // destination grows by.
  const std::string filler = dir / "disk/filler";
  const int fd = open(filler.c_str(), O_WRONLY | O_CREAT, 0644);
  const std::string block(4096, 'f');
  off_t size = 0;
  while (write(fd, block.data(), block.size()) > 0) size += 4096;
  ASSERT_EQ(ftruncate(fd, size - 9 * 4096), 0);
  close(fd);
  run_options options;
  options.cwd = dir.path;
  run_result result = run_program(kit_program("srcsplice"), {"s.asm", dst}, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "FATAL: Could not write output file\r\n");
  EXPECT_TRUE(read_file(dst) == old) << "the destination changed";
}

}  // namespace
