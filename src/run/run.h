// One file's run: the options turned into the run of a file once, for a file named alone and for
// each file of a tree, and the modes dispatched in one place.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "base/lines.h"
#include "base/result.h"
#include "diff/diff.h"
#include "io/buffer.h"
#include "io/directories.h"
#include "io/in_place.h"
#include "layout/layout.h"
#include "options/options.h"
#include "settings/settings.h"

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
  const Place* place = nullptr;  // named by `path`: where it was found, once, for its settings
                                 // and its in-place run; nullptr: found when it is run in place
};

/// How GitHub's annotations name files: from the top of the repository that holds the current
/// directory (see path_from_top). Both empty outside a repository: named from here.
struct ReportNames {
  std::string top;     // absolute
  std::string prefix;  // the path from `top` down to the current directory: "" or "src/"
};

/// What a run does with one file, and how.
struct FileRun {
  Mode mode = Mode::IN_PLACE;
  LayoutOptions layout;
  bool no_backup = false;             // Mode::IN_PLACE: keep no backup
  bool only_if_changed = false;       // Mode::IN_PLACE: a file that would not change stays as it is
  bool colour = false;                // Mode::DIFF: colour the diff
  bool unchanged = false;             // every line passes through as it is, none rewritten
  const char* output_file = nullptr;  // the output named ("-": standard output), if any
  const LineRanges* lines = nullptr;  // only these lines may change; nullptr: every one
  Report report = Report::FILES;      // Mode::CHECK: how a change is told
  const ReportNames* names = nullptr;  // Report::GITHUB: how files are named; nullptr: as given
};

/// The buffers of one file's run: made once, used for run after run.
struct Buffers {
  Files files;
  std::unique_ptr<DiffInputs> diff;  // made on the first diff
};

/// What every file of one invocation shares, decided once from the command line.
struct Job {
  const Options* options = nullptr;
  const ReportNames* names = nullptr;  // with -report github
  bool colour = false;           // a diff goes to a terminal that shows colours
  bool only_if_changed = false;  // a tree in place leaves alone a file that would not change
};

/// Makes ready for the runs that `options` ask for: an interrupted run will leave no temporary
/// file behind (in place) and no child running (in a tree). Call before any other thread starts.
[[nodiscard]] Job begin_job(const Options& options, const ReportNames* names);

/// The run of one file of `job`, whose directory's settings file is `settings` (nullptr: none):
/// the mode and the options of the command line, with those of the settings file that the
/// command line does not set (none with "-noconf"). Every line may change (see FileRun::lines).
/// Returns RC_OK, or RC_BAD_SETTINGS after printing why on `messages` (nothing, when it is
/// nullptr: it was told before).
[[nodiscard]] ResultCode make_run(const Job& job, const Settings* settings, FileRun& run,
                                  std::FILE* messages);

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

/// Runs on the one file that `options` name ("-fi"), with the settings of its directory (for
/// standard input, of the current directory, or of "-as"'s path, whose exclusions then hold: an
/// excluded text passes through unchanged), GitHub's reports naming it as `names` says. Returns as
/// run_one_file does, or RC_BAD_SETTINGS after printing why on `messages`.
[[nodiscard]] ResultCode run_file(const Options& options, const ReportNames& names,
                                  std::FILE* messages);

}  // namespace quillet
