#include "tree/tree.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "run/entry.h"
#include "run/in_place.h"
#include "run/io.h"
#include "tree/walk.h"

namespace quillet {
namespace {

// A worker may run ahead of the reports by this many files each, so that the messages waiting to
// be printed stay few, however many files there are.
constexpr std::size_t AHEAD_PER_WORKER = 16;
// Room for a file's message, which names at most one path and a suffix.
constexpr std::size_t MESSAGE_SIZE = 2 * PATH_BUFFER_SIZE;

// What one file's run left to be reported.
struct Report {
  std::array<char, MESSAGE_SIZE> text;
  std::size_t length = 0;
  ResultCode rc = RC_OK;
  bool done = false;
};

struct Shared {
  const std::vector<TreeEntry>& entries;
  Options options;              // the files' options, without the list of paths
  std::vector<Report> reports;  // entry i reports in reports[i % reports.size()]
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next = 0;      // the next entry to hand out
  std::size_t reported = 0;  // the entries printed so far
};

ResultCode run_entry(const TreeEntry& entry, const Options& options, Files& files,
                     std::FILE* messages) {
  if (entry.unreadable_directory) {
    std::fprintf(messages, "? Error reading %s\n", entry.path.c_str());
    return RC_IO_ERROR;
  }
  if (options.check) return check_file(options, files, messages);
  return rewrite_in_place(options, files, messages);
}

void work(Shared& shared) {
  const auto files = std::make_unique<Files>();
  Options options = shared.options;
  options.only_if_changed = true;
  const std::size_t window = shared.reports.size();
  for (;;) {
    std::size_t index = 0;
    {
      std::unique_lock lock(shared.mutex);
      shared.changed.wait(lock, [&] {
        return shared.next >= shared.entries.size() || shared.next < shared.reported + window;
      });
      if (shared.next >= shared.entries.size()) return;
      index = shared.next++;
    }
    // The slot is this worker's alone until its report is printed.
    Report& report = shared.reports[index % window];
    const TreeEntry& entry = shared.entries[index];
    options.input_file = entry.path.c_str();
    std::FILE* messages = ::fmemopen(report.text.data(), report.text.size(), "w");
    report.rc = run_entry(entry, options, *files, messages != nullptr ? messages : stdout);
    if (messages != nullptr) {
      const long length = std::ftell(messages);
      std::fclose(messages);
      report.length = length > 0 ? static_cast<std::size_t>(length) : 0;
    }
    {
      const std::lock_guard lock(shared.mutex);
      report.done = true;
    }
    shared.changed.notify_all();
  }
}

std::size_t worker_count(std::int32_t jobs, std::size_t files) {
  long count = jobs > 0 ? jobs : ::sysconf(_SC_NPROCESSORS_ONLN);
  if (count < 1) count = 1;
  return std::min(static_cast<std::size_t>(count), std::max<std::size_t>(files, 1));
}

}  // namespace

ResultCode run_tree(const Options& options, std::FILE* out) {
  const std::vector<TreeEntry> entries = list_files(options.paths);
  const std::size_t workers = worker_count(options.jobs, entries.size());
  Shared shared{entries, options, std::vector<Report>(workers * AHEAD_PER_WORKER), {}, {}, 0, 0};
  shared.options.paths = {};
  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (std::size_t i = 0; i < workers; ++i)
    threads.emplace_back(work, std::ref(shared));

  ResultCode failed = RC_OK;
  bool would_change = false;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Report& report = shared.reports[i % shared.reports.size()];
    {
      std::unique_lock lock(shared.mutex);
      shared.changed.wait(lock, [&] { return report.done; });
    }
    std::fwrite(report.text.data(), 1, report.length, out);
    if (report.rc == RC_WOULD_CHANGE) {
      would_change = true;
    } else if (report.rc != RC_OK && failed == RC_OK) {
      failed = report.rc;
    }
    {
      const std::lock_guard lock(shared.mutex);
      report.done = false;
      report.length = 0;
      shared.reported = i + 1;
    }
    shared.changed.notify_all();
  }
  for (std::thread& thread : threads)
    thread.join();
  if (failed != RC_OK) return failed;
  return would_change ? RC_WOULD_CHANGE : RC_OK;
}

}  // namespace quillet
