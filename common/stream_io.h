// The system side of the text streams, one implementation per platform
// (stream_io_posix.cpp, stream_io_win32.cpp), and what the file-system layer
// needs of the streams.  Private to common/.
#ifndef KIT_COMMON_STREAM_IO_H_
#define KIT_COMMON_STREAM_IO_H_

#include <cstddef>
#include <cstdint>
#include <string>

class text_reader;
class text_writer;

struct input_file {
  int fd = -1;
  bool regular = false;  // a regular file, whose size is known
  std::uint64_t size = 0;
};

// Opens an existing file for reading; false for a folder and for a name
// that holds a zero byte.
bool open_input(const std::string& path, input_file* file);

// Creates (or with exclusive, only creates) a file for writing; -1 when
// that fails.
int open_output(const std::string& path, bool exclusive);

// Bytes read into to, 0 at the end of the file, -1 on an error.
long read_input(int fd, char* to, std::size_t size);

// Whether the regular file open as fd is now shorter than size.
bool input_shrank(int fd, std::uint64_t size);

bool write_output(int fd, const char* data, std::size_t size);

// Takes an exclusive lock on the whole file open as fd, waiting while
// another holds one, and lets go of it.
bool lock_file(int fd);
void unlock_file(int fd);

// The length of the file open as fd; -1 on a failure.
std::int64_t file_length(int fd);

// Where the next read or write on fd starts.
bool seek_file(int fd, std::uint64_t offset);

// Cuts (or extends) the file open as fd to length.
bool set_file_length(int fd, std::uint64_t length);

// Has what was written to fd reach the disk.
bool sync_file(int fd);

bool close_file(int fd);

// Makes a standard stream binary; true when it is a terminal.
bool prepare_standard(int fd);

// Writes to a file already open for writing, which the writer then owns
// and closes.
void adopt_writer(text_writer& writer, int fd);

// The size of the blocks files are read in: from 64 KiB to 512 KiB the
// counts ran alike, and smaller blocks cost more reads.  A smaller file
// gets a block of its size and kKeptBytes more, so that 64 nested include
// files cost little memory.
const std::size_t kReadBlock = 128 * 1024;
// Room for the bytes a fast path leaves untaken at the end of a block, and
// the smallest block.
const std::size_t kKeptBytes = 256;

// Collects the bytes in memory instead of writing a file.
void open_memory_writer(text_writer& writer, std::string* memory);

// Writes out what is pending and hands the file back, for the caller to
// close; -1, with the file closed, when any write failed.
int release_writer(text_writer& writer);

#endif  // KIT_COMMON_STREAM_IO_H_
