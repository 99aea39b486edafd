// Open files that close themselves, what the program asks of a file, and the standard streams.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

/// What a name names, or an open file is. A listing may not tell (UNKNOWN); a file's facts do.
enum class FileKind : std::uint8_t { REGULAR, DIRECTORY, LINK, OTHER, UNKNOWN };

/// A file's identity: the file system that holds it and the file's number there (on Windows, the
/// volume's serial number and the file's index).
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
  friend bool operator<(const FileId& a, const FileId& b) {
    return a.device != b.device ? a.device < b.device : a.inode < b.inode;
  }
};

/// A moment, as seconds since 1970 began in UTC and the nanoseconds after them. (Not a timespec:
/// Windows's C library has none.)
struct Time {
  std::int64_t seconds = 0;
  std::int32_t nanoseconds = 0;  // 0 to 999'999'999
};

/// Who owns a file and what its permission bits allow, as an in-place swap hands them from the
/// file it replaces to the new one. Read by the platform room only.
struct FileAccess {
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  std::uint32_t bits = 0;
};

/// What the program asks of a file.
struct FileFacts {
  FileKind kind = FileKind::OTHER;
  FileId id;
  std::uint64_t size = 0;
  Time modified;                  // when its content last changed
  bool others_may_write = false;  // a user who is neither its owner nor of its group may write it
  FileAccess access;
};

/// Whether a symbolic link at the name is followed to what it leads to, or refused (ELOOP).
enum class Link : std::uint8_t { FOLLOW, REFUSE };

/// An open file, closed with its owner, once. Moved, it leaves nothing open behind it; a borrowed
/// one (a standard stream, or a file another owner closes) is never closed by it.
class File {
 public:
  /// The system's own handle: a descriptor, or a Windows HANDLE.
  using Handle = std::intptr_t;
  static constexpr Handle NONE = -1;

  File() = default;
  /// Owns `handle`.
  explicit File(Handle handle) : handle_(handle) {}
  File(File&& other) noexcept : handle_(other.handle_), owned_(other.owned_) {
    other.handle_ = NONE;
  }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      if (is_open()) (void)close();
      handle_ = other.handle_;
      owned_ = other.owned_;
      other.handle_ = NONE;
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() {
    if (is_open()) (void)close();
  }

  /// A file for `handle` that is never closed through it.
  [[nodiscard]] static File borrowed(Handle handle) {
    File file(handle);
    file.owned_ = false;
    return file;
  }

  [[nodiscard]] bool is_open() const { return handle_ != NONE; }
  [[nodiscard]] Handle handle() const { return handle_; }
  /// Gives the handle up, open, to the caller, and holds none.
  [[nodiscard]] Handle release() {
    const Handle handle = handle_;
    handle_ = NONE;
    return handle;
  }
  /// Closes the file (a borrowed one is let go of). Returns 0, or the error of closing it, which
  /// is where a full disk may show; the file is let go of either way.
  [[nodiscard]] int close();

 private:
  Handle handle_ = NONE;
  bool owned_ = true;
};

// Each call below returns 0, or the system's error number (as <cerrno> names them: ENOENT,
// EACCES...), leaving what it would have filled untouched.

/// Opens the file `path` names to read it, a link followed, as the user named it: a pipe is read
/// as it comes.
[[nodiscard]] int open_for_reading(const char* path, File& file);

/// Creates the file `path` names, or empties it, to write it; a new one is readable and writable
/// by everyone the process's mask allows.
[[nodiscard]] int create_for_writing(const char* path, File& file);

/// Opens a temporary file to write and read back, which no name leads to and which is gone with
/// its last handle.
[[nodiscard]] int open_anonymous_temporary(File& file);

/// The facts of the open `file`.
[[nodiscard]] int facts_of(const File& file, FileFacts& facts);

/// The facts of what `path` names: with Link::FOLLOW of what a link there leads to, with
/// Link::REFUSE of the link itself.
[[nodiscard]] int facts_of_path(const char* path, Link link, FileFacts& facts);

/// Reads up to `size` bytes into `into`, as many as come at once, and tells how many in `got`:
/// 0 at the end of the file.
[[nodiscard]] int read_some(const File& file, char* into, std::size_t size, std::size_t& got);

/// Reads up to `size` bytes from `offset` on into `into`, leaving where the file is read and
/// written next alone, also for a thread writing it meanwhile; `got` tells how many, 0 past the
/// end.
[[nodiscard]] int read_at(const File& file, std::uint64_t offset, char* into, std::size_t size,
                          std::size_t& got);

/// Writes some of the `size` bytes at `bytes`, at least one, and tells how many in `put`. A file
/// that takes none is a failure (EIO): it would be written for ever.
[[nodiscard]] int write_some(const File& file, const char* bytes, std::size_t size,
                             std::size_t& put);

/// Puts the file back at its start, to be read again from there.
[[nodiscard]] int seek_to_start(const File& file);

/// Puts what was written to the file on the disk.
[[nodiscard]] int sync_file(const File& file);

/// Whether `handle` is one of the process's standard streams'.
[[nodiscard]] bool is_standard_handle(File::Handle handle);

/// The process's standard input and output, borrowed: a run never closes them.
[[nodiscard]] File standard_input();
[[nodiscard]] File standard_output();

/// Whether `file` is a terminal.
[[nodiscard]] bool is_terminal(const File& file);

/// Puts a stand-in on each standard stream that the process was started without, so that no file
/// the run opens takes its place: reading the stand-in for standard input and writing the ones
/// for standard output and error fail, as they would have. Call before anything is opened.
void fill_missing_standard_streams();

}  // namespace quillet
