// Helpers for tests that run the built programs in scratch folders.
#ifndef KIT_TESTS_E2E_SUPPORT_H_
#define KIT_TESTS_E2E_SUPPORT_H_

#include <string>
#include <utility>
#include <vector>

// Path of a program built by this project (tlfix, fake_tool, ...).
std::string kit_program(const std::string& name);

// An outside tool that some tests need (make, ninja, nasm, strip, strace,
// unshare), as the build found it when it was configured.
struct optional_tool {
  std::string path;         // empty when it was missing
  std::string skip_reason;  // what a test that needs it says when it skips
};
optional_tool configured_tool(const std::string& name);

// A fresh folder, removed with everything in it at the end of the test.
struct scratch_dir {
  std::string path;
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
void make_dir(const std::string& path);

// A DOS build moved here as it was, under root: its files keep the names
// they were saved under, which its sources write in other case and with
// '\' between folders.  inc/x.inc (the line "x equ 1"), lib/libm.a, an
// empty folder Src, and dup.inc and Dup.inc, which DOS could not tell
// apart (dup.inc alone on Windows, which cannot hold both).
void make_dos_tree(const std::string& root);

struct run_options {
  std::string cwd;                                       // empty: the test's own
  std::vector<std::pair<std::string, std::string>> env;  // set for the child
  std::vector<std::string> unset_env;                    // removed for the child
  long long file_size_limit = -1;                        // RLIMIT_FSIZE, with SIGXFSZ ignored
  std::string stdout_path;                               // empty: captured into run_result::out
  std::string stdin_path;                                // POSIX; empty: /dev/null
  std::vector<std::string> wrapper;                      // runs the program under this command
  int user = -1;                                         // POSIX: the uid and gid to run as
  std::vector<int> ignored_signals;                      // POSIX: started with these ignored
};

struct run_result {
  int status = -1;  // exit status, or 128 plus the signal number
  std::string out;
  std::string err;
};

// Runs the program and waits for it.  On POSIX it gets a TMPDIR of its own,
// unless options set one, which must be empty again when it ends.
run_result run_program(const std::string& path, const std::vector<std::string>& args,
                       const run_options& options = {});

// The environment a child gets: base with the changes of options.
std::vector<std::string> merge_environment(const std::vector<std::string>& base,
                                           const run_options& options);

// Puts the fake tool into dir under name (name.exe on Windows), so that it
// runs as that tool.
void install_fake_tool(const std::string& dir, const std::string& name);

// One start of the fake tool, as it recorded it.
struct tool_run {
  // argv[0] is the tool's name: on Windows a child sees the path it was
  // found under, which is kept in started_as.
  std::vector<std::string> argv;
  std::string started_as;
  std::string cwd;
  std::vector<std::pair<std::string, std::string>> files;  // @file name, bytes
  int ended_by = 0;  // the signal that ended a hanging tool (FAKE_TOOL_HANG)
};

// The runs recorded in a fake tool log, in order; none when there is no log.
std::vector<tool_run> read_tool_log(const std::string& log_path);

// A scratch folder to run a program of the kit in: the fake tools named are
// the only ones on its PATH, it works in the folder work, and every start of
// a tool is recorded in log.  LIB is unset.
struct tool_site {
  scratch_dir dir;
  std::string work = dir / "work";
  std::string log = dir / "tools.log";
  run_options options;
  explicit tool_site(const std::vector<std::string>& tools = {});
  // A file of the work folder.
  std::string operator/(const std::string& name) const { return work + "/" + name; }
  run_result run(const std::string& program, const std::vector<std::string>& args) const;
  std::vector<tool_run> runs() const { return read_tool_log(log); }
  // Each tool started, as its name and arguments joined by spaces.
  std::vector<std::string> started() const;
  // The names in the work folder, sorted.
  std::vector<std::string> left() const;
};

#ifndef _WIN32
// A wrapper (see run_options) that runs a program under strace with a fault
// injected: inject as strace's -e inject= takes it, into the system calls
// named by trace, on the file path only when one is given (absolute when
// the file exists, else as the program names it).  Empty when
// strace is missing or cannot trace here; the caller skips, saying so.
std::vector<std::string> with_fault(const std::string& trace, const std::string& inject,
                                    const std::string& path = "");

// A tmpfs of size bytes mounted on the folder dir, in a mount namespace of
// the test's own: a disk that fills up, seen by the programs the test runs
// and by no one else.  Not mounted (where the test cannot make one: it
// needs root) when mounted is false; unmounted at the end.
struct small_disk {
  std::string dir;
  bool mounted = false;
  small_disk(const std::string& dir, long long size);
  ~small_disk();
  small_disk(const small_disk&) = delete;
  small_disk& operator=(const small_disk&) = delete;
};

// Makes a FIFO under path and, from another process, writes bytes into it
// once a reader has opened it; a reader that opens it at once finds no
// writer yet.  The writer is gone, done or not, when the feeder is.
struct fifo_feeder {
  int pid = -1;
  fifo_feeder(const std::string& path, const std::string& bytes);
  ~fifo_feeder();
  fifo_feeder(const fifo_feeder&) = delete;
  fifo_feeder& operator=(const fifo_feeder&) = delete;
};

// Makes a FIFO under path whose reader, from another process, opens it and
// leaves at once: a writer opens it, and then a write fails (EPIPE, with
// SIGPIPE ignored) at the latest once the pipe's buffer (64 KiB) is full.
struct fifo_without_reader {
  int pid = -1;
  explicit fifo_without_reader(const std::string& path);
  ~fifo_without_reader();
  fifo_without_reader(const fifo_without_reader&) = delete;
  fifo_without_reader& operator=(const fifo_without_reader&) = delete;
};

// A terminal of the test's own, a character device at path.  A program
// that reads it gets the line "x.obj" and then an end of file, instead of
// waiting for a user.
struct own_terminal {
  int controller = -1;
  std::string path;
  own_terminal();
  ~own_terminal();
  own_terminal(const own_terminal&) = delete;
  own_terminal& operator=(const own_terminal&) = delete;
};

// Takes the write permission from the folder dir, and gives the wrapper
// (see run_options) under which a program finds that the folder takes no
// new file: none for a user, and for root, whose rights pass over
// permissions, a user namespace of its own, where they do not.  False
// when root can have no such namespace here.
bool refuse_new_files(const std::string& dir, std::vector<std::string>* wrapper);
#endif

#endif  // KIT_TESTS_E2E_SUPPORT_H_
