// Tree mode: the walk on this thread, the files run by workers, the reports printed in order.
#include "tree/tree.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/failure.h"
#include "base/quote.h"
#include "io/directories.h"
#include "platform/process.h"
#include "platform/streams.h"
#include "run/run.h"
#include "settings/settings.h"
#include "tree/reports.h"
#include "tree/since.h"
#include "tree/walk.h"

namespace quillet {
namespace {

// The walk may run ahead of the reports by this many files per worker, so that the files waiting
// to be run or reported stay few, however many there are.
constexpr std::size_t AHEAD_PER_WORKER = 16;
// The descriptors a worker holds at most at once: the input, the output (or a diff's rewritten
// copy and the duplicate it is read through), the worker's diff spool, and a settings file.
constexpr std::size_t DESCRIPTORS_PER_WORKER = 6;
// Left for the standard streams, the walk's settings lookups and the libraries.
constexpr std::size_t DESCRIPTORS_KEPT = 32;

// What a report says when its file's diff or messages could not be kept: `error` is the errno
// of the stream that failed.
std::string spool_failed(int error) {
  return io_failure(Doing::WRITING, "a temporary file", reason(error != 0 ? error : EIO));
}

// A worker's own: its buffers, made once, the spool its diffs go to, and where its messages go,
// in memory, from file to file (made once too, as making it costs more than most files' run).
struct Worker {
  Buffers buffers;
  std::shared_ptr<Spool> spool;
  MessageStream messages;
  // The run the last file's settings gave, kept for the files after it with the same ones: most
  // files of a tree share their directory's, and settling them again costs more than a short
  // file's run.
  bool settled = false;
  std::shared_ptr<const Settings> settled_for;
  FileRun settled_run;
};

ResultCode run_slot(const Slot& slot, const Job& job, Worker& worker, std::FILE* messages) {
  const Found& file = slot.file;
  if (file.unreadable) {
    return io_failed(messages, Doing::READING, file.path, file.why);
  }
  if (!worker.settled || worker.settled_for != file.settings) {
    worker.settled = false;
    if (const ResultCode rc = make_run(job, file.settings.get(), worker.settled_run,
                                       slot.settings_told ? nullptr : messages);
        rc != RC_OK) {
      return rc;
    }
    worker.settled = true;
    worker.settled_for = file.settings;
  }
  FileRun run = worker.settled_run;
  run.lines = slot.lines;  // with -since, the lines git names; the command line has none
  const Target target{.path = file.path.c_str(),
                      .directory = file.directory.get(),
                      .name = file.name.c_str(),
                      .id = file.id};
  return run_one_file(run, target, worker.buffers, messages);
}

// Runs a diff into the worker's spool, which starts afresh once no report points into it.
void run_diff(Slot& slot, const Job& job, Worker& worker) {
  if (worker.spool != nullptr && worker.spool.use_count() == 1 &&
      empty_stream(worker.spool->file) != 0) {
    worker.spool = nullptr;
  }
  if (worker.spool == nullptr) {
    worker.spool = std::make_shared<Spool>();
    worker.spool->file = open_temporary_stream();
  }
  std::FILE* const file = worker.spool->file;
  // The stream calls leave their reason in errno; a write that failed before the flush left it
  // long ago, and is told as a failed transfer.
  int error = errno;
  const std::int64_t offset = file != nullptr ? stream_offset(file) : -1;
  if (offset >= 0) {
    slot.rc = run_slot(slot, job, worker, file);
    const std::int64_t end = stream_offset(file);
    errno = 0;
    const bool flushed = std::fflush(file) == 0;
    error = errno;
    if (flushed && std::ferror(file) == 0 && end >= offset) {
      slot.spool = worker.spool;
      slot.offset = offset;
      slot.length = static_cast<std::size_t>(end - offset);
      return;
    }
  } else if (file != nullptr) {
    error = errno;
  }
  // A diff cut short is no diff: the spool is given up, and the report says why.
  worker.spool = nullptr;
  slot.rc = RC_IO_ERROR;
  slot.text = spool_failed(error);
}

// Runs anything else, its messages kept in memory.
void run_other(Slot& slot, const Job& job, Worker& worker) {
  // What the file before wrote is in its own report by now.
  std::FILE* const messages = worker.messages.restart();
  if (messages == nullptr) {
    slot.rc = RC_IO_ERROR;
    slot.text = spool_failed(errno);
    return;
  }
  slot.rc = run_slot(slot, job, worker, messages);
  slot.text = worker.messages.text();
}

// Runs the file taken in `slot` and hands its report on to be printed.
void run_taken(Slot& slot, const Job& job, Worker& worker, Reports& reports) {
  if (job.options->mode == Mode::DIFF) {
    run_diff(slot, job, worker);
  } else {
    run_other(slot, job, worker);
  }
  reports.finish(slot);
}

void work(Reports& reports, const Job& job) {
  const auto worker = std::make_unique_for_overwrite<Worker>();
  while (Slot* slot = reports.take())
    run_taken(*slot, job, *worker, reports);
}

// Starts up to `count` workers. Where the system has no more threads to give (a limit on the
// user's processes), the run goes on with those that started, which may be none.
std::vector<std::thread> start_workers(std::size_t count, Reports& reports, const Job& job) {
  std::vector<std::thread> threads;
  threads.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    // std::thread tells its failure only by throwing: it stops here.
    try {
      threads.emplace_back(work, std::ref(reports), std::cref(job));
    } catch (const std::system_error&) {
      break;
    }
  }
  return threads;
}

// Prints a file's report. Returns false when its spooled diff could not be read back.
bool print_report(const Slot& slot, std::array<char, 65536>& buffer, std::FILE* out) {
  bool read = true;
  if (slot.spool != nullptr) {
    for (std::size_t done = 0; done < slot.length;) {
      const std::size_t want = std::min(buffer.size(), slot.length - done);
      std::size_t got = 0;
      // A spool that ends before the diff does was cut short: told as a failed transfer.
      const int error =
          read_stream_at(slot.spool->file, static_cast<std::uint64_t>(slot.offset) + done,
                         buffer.data(), want, got);
      if (error != 0 || got == 0) {
        io_failed(out, Doing::READING, "a temporary file", error);
        read = false;
        break;
      }
      std::fwrite(buffer.data(), 1, got, out);
      done += got;
    }
  }
  std::fwrite(slot.text.data(), 1, slot.text.size(), out);
  return read;
}

// How many workers to start for `jobs` (0: one per processor online), and how many directories
// the walk may hold open, so that the run's descriptors stay within the process's limit whatever
// `jobs` asks for.
struct Sizes {
  std::size_t workers;
  std::size_t directories;
};

Sizes sizes_for(std::int32_t jobs) {
  std::size_t workers = jobs > 0 ? static_cast<std::size_t>(jobs) : processors_online();
  const std::size_t descriptors = open_file_limit().value_or(1024);
  const std::size_t spare = descriptors > DESCRIPTORS_KEPT ? descriptors - DESCRIPTORS_KEPT : 0;
  // Workers take at most half of what is left; the open directories the rest.
  workers = std::clamp<std::size_t>(spare / 2 / DESCRIPTORS_PER_WORKER, 1, workers);
  const std::size_t used = workers * DESCRIPTORS_PER_WORKER;
  return {workers, spare > used ? spare - used : 1};
}

}  // namespace

ResultCode run_tree(const Options& options, std::FILE* out) {
  // Found once, before any directory of the tree could offer a git of its own.
  const Git git = options.use_git || options.since != nullptr || options.report == Report::GITHUB
                      ? find_git()
                      : Git{};
  const ReportNames names = report_names(options, &git);
  const Job job = begin_job(options, &names);
  // With -since, git names the files, and the lines in each that may change.
  std::vector<ChangedFile> changed;
  std::vector<const char*> paths = options.paths;
  std::unordered_map<std::string_view, const LineRanges*> lines_of;
  std::unordered_set<std::string> told;  // the refused settings files told so far
  if (options.since != nullptr) {
    if (const ResultCode rc = changed_since(git, options.since, options.paths, changed, out);
        rc != RC_OK) {
      return rc;
    }
    paths.clear();
    for (const ChangedFile& file : changed) {
      paths.push_back(file.path.c_str());
      lines_of.emplace(file.path, &file.lines);
    }
  }
  const Sizes sizes = sizes_for(options.jobs);
  DirectoryLog directories;
  Reports reports(sizes.workers * AHEAD_PER_WORKER);
  std::vector<std::thread> threads = start_workers(sizes.workers, reports, job);
  // With no worker at all, this thread runs each file itself before it prints its report: the
  // run is slower, not refused, as a single file's run needs no thread either.
  const std::unique_ptr<Worker> alone =
      threads.empty() ? std::make_unique_for_overwrite<Worker>() : nullptr;

  // This thread walks ahead while there are free slots, and prints the reports in order.
  WalkRules rules{!options.no_settings, command_line_exclusions(options.excludes), options.use_git,
                  git, options.since == nullptr};
  Walk walk = begin_walk(paths, std::move(rules), &directories);
  ResultCode failed = RC_OK;
  bool would_change = false;
  bool walked = false;
  const auto buffer = std::make_unique_for_overwrite<std::array<char, 65536>>();
  for (;;) {
    // Files waiting for their reports hold their directories open: past a number, the walk waits
    // for the reports before it opens more.
    while (!walked && (reports.pending() == 0 || directories.open < sizes.directories)) {
      Slot* const slot = reports.free_slot();
      if (slot == nullptr) break;
      if (next_file(walk, slot->file)) {
        if (const auto found = lines_of.find(slot->file.path); found != lines_of.end()) {
          slot->lines = found->second;
        }
        // A refused settings file is told once, at the first of its files that the walk finds;
        // the others are refused too, without a word.
        if (const Settings* const settings = slot->file.settings.get();
            settings != nullptr && !settings->error.empty()) {
          slot->settings_told = !told.insert(settings->path).second;
        }
        reports.publish();
      } else {
        reports.end();
        walked = true;
      }
    }
    // Alone, every file found before is printed by now: one is waiting, or the walk has ended.
    if (alone != nullptr) {
      if (Slot* const taken = reports.take()) run_taken(*taken, job, *alone, reports);
    }
    Slot* const slot = reports.next_done();
    if (slot == nullptr) break;  // and the walk has ended
    if (!print_report(*slot, *buffer, out) && failed == RC_OK) failed = RC_IO_ERROR;
    if (slot->rc == RC_WOULD_CHANGE) {
      would_change = true;
    } else if (slot->rc != RC_OK && failed == RC_OK) {
      failed = slot->rc;
    }
    reports.printed(*slot);
  }
  for (std::thread& thread : threads)
    thread.join();
  walk = Walk{};
  // Each directory where files were replaced was synced once, as the run let go of it, before the
  // run says it succeeded: a file's own content was on disk before its rename, so a crash before
  // then leaves every file whole, old or new.
  std::sort(directories.unsynced.begin(), directories.unsynced.end(),
            [](const UnsyncedDirectory& a, const UnsyncedDirectory& b) { return a.path < b.path; });
  for (const UnsyncedDirectory& directory : directories.unsynced) {
    io_failed(out, Doing::WRITING, directory.path, directory.error);
    if (failed == RC_OK) failed = RC_IO_ERROR;
  }
  if (failed != RC_OK) return failed;
  return would_change ? RC_WOULD_CHANGE : RC_OK;
}

}  // namespace quillet
