#pragma once

#include <cstdio>
#include <memory>

#include "diff/diff.h"
#include "io/buffer.h"
#include "io/descriptor.h"
#include "options/options.h"

namespace quillet {

/// The file a run reads. Named by a path, it is opened as named ("-" is standard input). Found by
/// a walk, it is `name` in the open `directory`: opened there without following a link or
/// waiting on a pipe, and run on only if it is a regular file and still the file `id` the walk saw.
struct Target {
  const char* path = nullptr;   // how it is opened, and named unless `label` is given
  const char* label = nullptr;  // how messages and diff headers name it, when not by `path`
  Directory* directory = nullptr;
  const char* name = nullptr;
  FileId id{};
};

/// What a run does with one file, and how.
struct FileRun {
  Mode mode = Mode::IN_PLACE;
  LayoutOptions layout;
  bool no_backup = false;             // Mode::IN_PLACE: keep no backup
  bool only_if_changed = false;       // Mode::IN_PLACE: a file that would not change stays as it is
  bool colour = false;                // Mode::DIFF: colour the diff
  const char* output_file = nullptr;  // the output named ("-": standard output), if any
  const LineRanges* lines = nullptr;  // only these lines may change; nullptr: every one
  Report report = Report::FILES;      // Mode::CHECK: how a change is told
};

/// The buffers of one file's run: made once, used for run after run.
struct Buffers {
  Files files;
  std::unique_ptr<DiffInputs> diff;  // made on the first diff
};

/// Puts a stand-in on each standard stream that the process was started without, so that no file
/// the run opens takes its number: reading the stand-in for standard input and writing the ones
/// for standard output and error fail, as they would have.
void hold_standard_streams();

/// Whether a diff on standard output is coloured: it is a terminal and NO_COLOR is not set.
[[nodiscard]] bool wants_colour();

/// Runs on the target as `run.mode` says:
/// - TO_FILE writes the result to `run.output_file` ("-": standard output);
/// - IN_PLACE rewrites the target itself through a temporary file, keeping the previous content
///   in a backup; on any failure before the swap the file is left untouched, and the directory is
///   synced at once, or, for a file of a walk, when the walk is done with it;
/// - CHECK writes nothing and tells whether a line would change ("? PATH would change");
/// - DIFF writes no file and prints the change as a unified diff that `patch -p0` applies.
/// Returns RC_OK, RC_WOULD_CHANGE (CHECK and DIFF, when a line would change), or the status of a
/// failure after printing its message on `messages`, which must not be standard output when the
/// text goes there (nothing may be taken for the text).
[[nodiscard]] ResultCode run_one_file(const FileRun& run, const Target& target, Buffers& buffers,
                                      std::FILE* messages);

}  // namespace quillet
