#include "run/run.h"

#include <memory>
#include <string>

#include "platform/interrupt.h"
#include "run/modes.h"
#include "run/streams.h"

namespace quillet {
namespace {

// What holds for the file `options` name, and where it is: a path that leads to a place of its
// own is resolved once, for its settings and for its in-place run alike (a link is followed, so
// that the file it points to takes the settings of its own directory, as in a tree); standard
// input takes those of the current directory, or of -as's path, which need not exist.
FileSettings locate(const Options& options, SettingsCache& cache, OpenDirectory& directory,
                    Place& place, bool& placed) {
  if (options.as_path != nullptr) {
    return settings_for_file(cache, options.as_path, !options.no_settings,
                             command_line_exclusions(options.excludes));
  }
  placed = !is_standard_stream(options.input_file) &&
           find_place(options.input_file, directory, place) &&
           split_path(place.path).name == place.name;
  if (!placed) return settings_for_file(cache, options.input_file, !options.no_settings, nullptr);
  FileSettings found;
  found.options =
      options.no_settings
          ? std::make_shared<const Settings>()
          : find_settings(cache, *place.directory, split_path(place.path).directory)->options;
  return found;
}

// The run of one file, in the mode it asks for.
ResultCode run_mode(const FileRun& run, const Target& target, Buffers& buffers,
                    std::FILE* messages) {
  switch (run.mode) {
    case Mode::TO_FILE: return rewrite_to_file(run, target, buffers.files, messages);
    case Mode::IN_PLACE: return rewrite_in_place(run, target, buffers.files, messages);
    case Mode::CHECK: return check_file(run, target, buffers.files, messages);
    case Mode::DIFF:
      if (buffers.diff == nullptr) buffers.diff = std::make_unique_for_overwrite<DiffInputs>();
      return diff_file(run, target, buffers.files, *buffers.diff, messages);
  }
  return RC_OK;  // not reached: every mode is named above
}

}  // namespace

Job begin_job(const Options& options, const ReportNames* names) {
  // An interrupted run leaves no temporary file behind, and no git of a tree run running.
  if (options.mode == Mode::IN_PLACE || options.recursive) clean_up_on_signal();
  return {.options = &options,
          .names = names,
          .colour = options.mode == Mode::DIFF && wants_colour(),
          .only_if_changed = options.recursive};
}

ResultCode make_run(const Job& job, const Settings* settings, FileRun& run, std::FILE* messages) {
  const Options& options = *job.options;
  Options settled;  // only what a settings file may set is put here
  if (const ResultCode rc =
          settle_options(options, options.no_settings ? nullptr : settings, settled, messages);
      rc != RC_OK) {
    return rc;
  }
  run = FileRun{.mode = options.mode,
                .layout = settled.layout,
                .no_backup = settled.no_backup,
                .only_if_changed = job.only_if_changed,
                .colour = job.colour,
                .output_file = options.output_file,
                .lines = &options.lines,
                .report = options.report,
                .names = job.names};
  return RC_OK;
}

ResultCode run_one_file(const FileRun& run, const Target& target, Buffers& buffers,
                        std::FILE* messages) {
  const ResultCode rc = run_mode(run, target, buffers, messages);
  // Closed now, not when the next file's run starts: the input of an in-place run holds the lock
  // that other runs on the file wait for.
  reset(buffers.files);
  return rc;
}

ResultCode run_file(const Options& options, const ReportNames& names, std::FILE* messages) {
  const Job job = begin_job(options, &names);
  SettingsCache cache;
  OpenDirectory directory;
  Place place;
  bool placed = false;
  const FileSettings settings = locate(options, cache, directory, place, placed);
  FileRun run;
  if (const ResultCode rc = make_run(job, settings.options.get(), run, messages); rc != RC_OK) {
    return rc;
  }
  // A file named alone is run whatever excludes it; a text named with -as that is excluded goes
  // back as it came.
  run.unchanged = options.as_path != nullptr && settings.excluded;
  const auto buffers = std::make_unique_for_overwrite<Buffers>();
  return run_one_file(
      run,
      Target{
          .path = options.input_file, .label = options.as_path, .place = placed ? &place : nullptr},
      *buffers, messages);
}

}  // namespace quillet
