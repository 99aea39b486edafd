// The four things a run does with one file: each opens the file, runs the line loop over it as
// its mode asks, and tells what failed.
#include "run/modes.h"

#include <cerrno>
#include <string>
#include <string_view>
#include <utility>

#include "base/failure.h"
#include "base/paths.h"
#include "base/quote.h"
#include "io/buffer.h"
#include "io/directories.h"
#include "io/in_place.h"
#include "platform/file.h"
#include "platform/in_place.h"
#include "platform/process.h"
#include "rewrite/rewrite.h"

namespace quillet {
namespace {

ResultCode no_such_file(const char* path, std::FILE* messages) {
  std::fprintf(messages, "No such file: %s\n", printable(path).c_str());
  return RC_NO_SUCH_FILE;
}

ResultCode cannot_read(const char* path, int error, std::FILE* messages) {
  return io_failed(messages, Doing::READING, path, error);
}

ResultCode cannot_write(const std::string& path, int error, std::FILE* messages) {
  return io_failed(messages, Doing::WRITING, path, error);
}

// A file that is there but could not be opened for want of descriptors or memory says so: it is
// no missing file.
ResultCode open_failed(const char* path, int error, std::FILE* messages) {
  if (error == EMFILE || error == ENFILE || error == ENOMEM) {
    return cannot_read(path, error, messages);
  }
  return no_such_file(path, messages);
}

// How messages and diff headers name the target.
const char* shown(const Target& target) {
  return target.label != nullptr ? target.label : target.path;
}

// What a file of a walk is not, when it is there and is not what the walk found.
constexpr std::string_view NOT_REGULAR = "not a regular file";
constexpr std::string_view REPLACED = "replaced since the walk found it";

// Why the walked file `facts` describes (read with error `error`) is not the one `target` names.
ResultCode not_found_walked(const Target& target, const FileFacts& facts, int error,
                            std::FILE* messages) {
  if (error != 0) return cannot_read(shown(target), error, messages);
  return io_failed(messages, Doing::READING, shown(target),
                   facts.kind != FileKind::REGULAR ? NOT_REGULAR : REPLACED);
}

// Opens a file of a walk where the walk found it, refusing a link, anything but a regular file
// (a pipe or a device could block the run for ever), and a file put there since.
ResultCode open_walked(Input& in, const Target& target, std::FILE* messages) {
  if (const int error = open_in(target.directory->open, target.name, Link::REFUSE, in.file);
      error != 0) {
    return error == ELOOP ? cannot_read(shown(target), error, messages)
                          : open_failed(shown(target), error, messages);
  }
  FileFacts facts;
  const int error = facts_of(in.file, facts);
  if (error != 0 || facts.kind != FileKind::REGULAR || facts.id != target.id) {
    in.file = File();
    return not_found_walked(target, facts, error, messages);
  }
  return RC_OK;
}

// Opens the input. A directory cannot be read as text: it is refused here, before any output is
// created, emptied or removed.
[[nodiscard]] ResultCode open_input(Input& in, const Target& target, std::FILE* messages) {
  if (target.directory != nullptr) return open_walked(in, target, messages);
  if (is_standard_stream(target.path)) {
    in.file = standard_input();
  } else if (const int error = open_for_reading(target.path, in.file); error != 0) {
    return open_failed(shown(target), error, messages);
  }
  FileFacts facts;
  if (facts_of(in.file, facts) == 0 && facts.kind == FileKind::DIRECTORY) {
    in.file = File();
    return cannot_read(shown(target), EISDIR, messages);
  }
  return RC_OK;
}

// Whether the file that `other` describes is the input. Another path to the input (a link,
// "./a.c" for "a.c") would be emptied by opening it for writing; it is caught by identity.
bool is_input(const Input& in, const FileFacts& other) {
  FileFacts input;
  return facts_of(in.file, input) == 0 && input.id == other.id;
}

// Standard output appending to the input itself would feed the run its own output.
bool stdout_is_input(const Input& in) {
  FileFacts output;
  return facts_of(standard_output(), output) == 0 && output.kind == FileKind::REGULAR &&
         is_input(in, output);
}

// Whether "-fo" names the input by another path; then the run is refused, without a word when
// standard output is the input too, as the refusal would land in it.
bool output_names_input(const Input& in, const FileRun& run, std::FILE* messages) {
  FileFacts named;
  if (run.output_file == nullptr || is_standard_stream(run.output_file) ||
      facts_of_path(run.output_file, Link::FOLLOW, named) != 0 || !is_input(in, named)) {
    return false;
  }
  if (!stdout_is_input(in)) refuse_same_file(messages);
  return true;
}

// Copies every line of `in` to `out` (with none, only reads it) as it is.
ResultCode pass_through(Input& in, Output* out) {
  while (refill(in)) {
    const std::string_view bytes(in.data.data() + in.begin, in.end - in.begin);
    if (out != nullptr && !write_bytes(*out, bytes)) return RC_IO_ERROR;
    in.begin = in.end;
  }
  return in.error != 0 ? RC_IO_ERROR : RC_OK;
}

// Rewrites the lines of the input into `out`, or, without an output, looks for one that would
// change, as rewrite_lines does; or passes every one through, as the run asks.
ResultCode rewrite(Files& files, Output* out, const FileRun& run,
                   const LineReport* report = nullptr) {
  if (run.unchanged) return pass_through(files.in, out);
  return rewrite_lines(files.in, out, run.layout, run.lines, report);
}

// Copies all of `from` into `to`, through the input's buffer. Returns 0, or the error of the read
// or the write that failed.
int copy_all(const File& from, const File& to, Input& buffer) {
  for (;;) {
    std::size_t got = 0;
    if (const int error = read_some(from, buffer.data.data(), buffer.data.size(), got);
        error != 0) {
      return error;
    }
    if (got == 0) return 0;
    for (std::size_t done = 0; done < got;) {
      std::size_t put = 0;
      if (const int error = write_some(to, buffer.data.data() + done, got - done, put);
          error != 0) {
        return error;
      }
      done += put;
    }
  }
}

void report_io_error(const Input& in, const Output& out, const char* input_path,
                     const std::string& output_path, std::FILE* messages) {
  if (in.error != 0) {
    cannot_read(input_path, in.error, messages);
  } else {
    cannot_write(output_path, out.error, messages);
  }
}

// Runs the loop into the open output. Everything written must have reached the file: a full
// disk often shows only when the buffer is flushed.
ResultCode run_into(Files& files, const FileRun& run, const char* input_path,
                    const std::string& output_path, std::FILE* messages) {
  ResultCode rc = rewrite(files, &files.out, run);
  if (rc == RC_OK && !flush(files.out)) rc = RC_IO_ERROR;
  if (rc == RC_IO_ERROR) report_io_error(files.in, files.out, input_path, output_path, messages);
  return rc;
}

// Closes the output file; closing may be where a full disk shows.
ResultCode close_output(Files& files, ResultCode rc, const std::string& output_path,
                        std::FILE* messages) {
  const int error = files.out.file.close();
  return error == 0 || rc != RC_OK ? rc : cannot_write(output_path, error, messages);
}

// Reads the open input through, writing nothing, up to the first line that would change; then,
// with `again`, puts it back at its start for a run that reads it again (a pipe cannot be).
// Returns RC_WOULD_CHANGE, RC_OK, or RC_IO_ERROR after its message.
ResultCode would_change(Files& files, const FileRun& run, const char* path, bool again,
                        std::FILE* messages, const LineReport* report = nullptr) {
  const ResultCode rc = rewrite(files, nullptr, run, report);
  if (rc == RC_IO_ERROR) cannot_read(path, files.in.error, messages);
  if (rc == RC_WOULD_CHANGE && again && !rewind(files.in)) {
    return cannot_read(path, files.in.error, messages);
  }
  return rc;
}

// Opens the input of an in-place run in its place and holds it against other in-place runs with
// `lock`, kept until the swap is done. Fills `facts`. The file must be a regular one: a swap would
// put a plain file in the place of a device or a pipe.
ResultCode open_in_place(Input& in, const Target& target, const Place& place, FileFacts& facts,
                         FileLock& lock, std::FILE* messages) {
  const bool walked = target.directory != nullptr;
  if (const int error = open_locked(*place.directory, place.name.c_str(), in.file, lock,
                                    walked ? &target.id : nullptr);
      error != 0) {
    if (walked && error == NOT_FIRST) {
      // Whatever took the file's name is named as the walk's own open would name it.
      FileFacts found;
      if (facts_in(*place.directory, place.name.c_str(), found) != 0)
        found.kind = FileKind::REGULAR;
      return not_found_walked(target, found, 0, messages);
    }
    return walked && error == ELOOP ? cannot_read(shown(target), error, messages)
                                    : open_failed(shown(target), error, messages);
  }
  const auto refuse = [&](ResultCode rc) {
    in.file = File();
    lock.release();
    return rc;
  };
  // The lock may have moved on to the file another run put in place.
  if (const int error = facts_of(in.file, facts); error != 0) {
    return refuse(cannot_read(shown(target), error, messages));
  }
  if (facts.kind == FileKind::DIRECTORY)
    return refuse(cannot_read(shown(target), EISDIR, messages));
  if (walked && (facts.kind != FileKind::REGULAR || facts.id != target.id)) {
    return refuse(not_found_walked(target, facts, 0, messages));
  }
  if (facts.kind != FileKind::REGULAR) {
    std::fprintf(messages, "? Not a regular file: %s\n", printable(shown(target)).c_str());
    return refuse(RC_NO_SUCH_FILE);
  }
  return RC_OK;
}

}  // namespace

ResultCode rewrite_to_file(const FileRun& run, const Target& target, Files& files,
                           std::FILE* messages) {
  reset(files);
  if (const ResultCode rc = open_input(files.in, target, messages); rc != RC_OK) return rc;
  if (is_standard_stream(run.output_file)) {
    if (stdout_is_input(files.in)) return refuse_same_file(messages);
    files.out.file = standard_output();
    return run_into(files, run, shown(target), run.output_file, messages);
  }
  if (output_names_input(files.in, run, messages)) return RC_SAME_FILE;
  if (create_for_writing(run.output_file, files.out.file) != 0) {
    std::fprintf(messages, "Cannot create file: %s\n", printable(run.output_file).c_str());
    return RC_CANNOT_CREATE;
  }
  const ResultCode rc = run_into(files, run, shown(target), run.output_file, messages);
  return close_output(files, rc, run.output_file, messages);
}

ResultCode rewrite_in_place(const FileRun& run, const Target& target, Files& files,
                            std::FILE* messages) {
  reset(files);
  OpenDirectory own_directory;
  Place place;
  if (target.directory != nullptr) {
    place = {&target.directory->open, target.name, target.path};
  } else if (target.place != nullptr) {
    place = *target.place;
  } else if (!find_place(target.path, own_directory, place)) {
    return no_such_file(shown(target), messages);
  }
  FileFacts input;
  FileLock lock;
  if (const ResultCode rc = open_in_place(files.in, target, place, input, lock, messages);
      rc != RC_OK) {
    return rc;
  }
  // From here to the end of the swap no other in-place run on this file can start its own.
  if (run.only_if_changed) {
    // A file that would not change keeps its inode and its time, and gets no backup.
    const ResultCode rc = would_change(files, run, shown(target), true, messages);
    if (rc != RC_WOULD_CHANGE) return rc;
  }
  if (const ResultCode rc = create_temporary(place, files.out.file, messages); rc != RC_OK) {
    return rc;
  }
  const std::string temporary = temporary_path(place.path);
  ResultCode rc = run_into(files, run, shown(target), temporary, messages);
  if (rc == RC_OK) rc = finish_temporary(place, files.out.file, input.access, messages);
  rc = close_output(files, rc, temporary, messages);
  if (rc != RC_OK) {
    remove_temporary(place);
    return rc;
  }
  // Windows renames over no file that is open, this run's input among them.
  files.in.file = File();
  rc = replace_in_place(place, !run.no_backup, messages);
  if (rc != RC_OK) return rc;
  // The renames are on disk once the directory is: a crash after a reported success cannot
  // bring the old content back. A walk syncs each directory once, when it is done with it.
  if (target.directory != nullptr) {
    target.directory->renamed = true;
  } else if (const int error = sync_directory(*place.directory); error != 0) {
    return cannot_write(split_path(place.path).directory, error, messages);
  }
  return RC_OK;
}

ResultCode diff_file(const FileRun& run, const Target& target, Files& files, DiffInputs& diff,
                     std::FILE* messages) {
  reset(files);
  if (const ResultCode rc = open_input(files.in, target, messages); rc != RC_OK) return rc;
  if (output_names_input(files.in, run, messages)) return RC_SAME_FILE;
  // Both sides are dated by the input's time, so that a diff of the same file reads the same
  // every time; standard input by the time of the run.
  Time time = current_time();
  FileFacts facts;
  if (facts_of(files.in.file, facts) == 0 && facts.kind == FileKind::REGULAR) {
    time = facts.modified;
  }
  const DiffLabel label{shown(target), time};
  // The input is read three times (the check, the run, the diff); standard input is kept in a
  // temporary file first, as it can be read once only.
  if (target.directory == nullptr && is_standard_stream(target.path)) {
    File spool;
    int error = open_anonymous_temporary(spool);
    if (error == 0) error = copy_all(files.in.file, spool, files.in);
    if (error == 0) error = seek_to_start(spool);
    if (error != 0) return cannot_read(shown(target), error, messages);
    reset(files);
    files.in.file = std::move(spool);
  }
  ResultCode rc = would_change(files, run, shown(target), true, messages);
  if (rc != RC_WOULD_CHANGE) return rc;
  if (const int error = open_anonymous_temporary(files.out.file); error != 0) {
    return io_failed(messages, Doing::WRITING, "a temporary file", error);
  }
  rc = rewrite(files, &files.out, run);
  if (rc == RC_OK && !flush(files.out)) rc = RC_IO_ERROR;
  if (rc == RC_IO_ERROR) {
    if (files.in.error != 0) return cannot_read(shown(target), files.in.error, messages);
    return io_failed(messages, Doing::WRITING, "a temporary file", files.out.error);
  }
  // The diff reads both files through buffers of its own, and lets go of them once it is done.
  diff.before.file = std::move(files.in.file);
  diff.after.file = std::move(files.out.file);
  const bool written =
      rewind(diff.before) && rewind(diff.after) && write_diff(diff, label, run.colour, messages);
  diff.before.file = File();
  diff.after.file = File();
  if (written) return RC_WOULD_CHANGE;
  return cannot_read(shown(target), diff.before.error != 0 ? diff.before.error : diff.after.error,
                     messages);
}

ResultCode check_file(const FileRun& run, const Target& target, Files& files, std::FILE* messages) {
  reset(files);
  if (const ResultCode rc = open_input(files.in, target, messages); rc != RC_OK) return rc;
  if (output_names_input(files.in, run, messages)) return RC_SAME_FILE;
  // Told line by line, as the lines come, or once for the file.
  // GitHub places an annotation by the file's path from the repository's top.
  const std::string github_name =
      run.report == Report::GITHUB && run.names != nullptr
          ? path_from_top(run.names->top, run.names->prefix, shown(target))
          : std::string();
  const LineReport report{messages, run.report,
                          run.report == Report::GITHUB ? github_name.c_str() : shown(target)};
  const ResultCode rc = would_change(files, run, shown(target), false, messages,
                                     run.report != Report::FILES ? &report : nullptr);
  if (rc == RC_WOULD_CHANGE && run.report == Report::FILES) {
    std::fprintf(messages, "? %s would change\n", printable(shown(target)).c_str());
  }
  return rc;
}

}  // namespace quillet
