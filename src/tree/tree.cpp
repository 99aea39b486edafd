#include "tree/tree.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/quote.h"
#include "diff/diff.h"
#include "io/descriptor.h"
#include "run/entry.h"
#include "run/io.h"
#include "settings/settings.h"
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

// A temporary file where a worker's diffs wait for their turn, shared by the reports that point
// into it.
struct Spool {
  std::FILE* file = nullptr;
  Spool() = default;
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;
  ~Spool() {
    if (file != nullptr) std::fclose(file);
  }
};

// One file of the walk, from the moment it is found until its report is printed.
struct Slot {
  Found file;
  ResultCode rc = RC_OK;
  bool done = false;
  std::string text;              // its messages, whatever their length
  std::shared_ptr<Spool> spool;  // with "-diff": where its diff waits, before `text`
  off_t offset = 0;
  std::size_t length = 0;
};

// The walk hands out files in order, the workers run them, and the reports are printed in the
// same order. File i lives in slots[i % slots.size()]: the walk is never further ahead of the
// reports than there are slots.
struct Shared {
  Options options;  // the files' options, without the list of paths
  std::vector<Slot> slots;
  std::mutex mutex;
  std::condition_variable work;  // a file was found, or the walk ended
  std::condition_variable done;  // a file's report is done
  std::size_t found = 0;         // files the walk has put in their slots
  bool walked = false;           // the walk has ended
  std::size_t next = 0;          // the next file to hand to a worker
};

// A worker's own: its buffers, made once, and the spool its diffs go to.
struct Worker {
  Files files;
  std::unique_ptr<DiffInputs> diff;  // with "-diff" only
  std::shared_ptr<Spool> spool;
};

ResultCode run_slot(const Slot& slot, const Options& options, Worker& worker, std::FILE* messages) {
  const Found& file = slot.file;
  if (file.unreadable) {
    std::fprintf(messages, "? Error reading %s\n", printable(file.path).c_str());
    return RC_IO_ERROR;
  }
  Options file_options = options;
  file_options.input_file = file.path.c_str();
  if (file.settings != nullptr) {
    const ResultCode rc = apply_settings(*file.settings, file_options, messages);
    if (rc != RC_OK) return rc;
  }
  order_columns(file_options);
  const Target target{file.path.c_str(), file.directory.get(), file.name.c_str(), file.id};
  if (options.diff) return diff_file(file_options, target, worker.files, *worker.diff, messages);
  if (options.check) return check_file(file_options, target, worker.files, messages);
  return rewrite_in_place(file_options, target, worker.files, messages);
}

constexpr std::string_view SPOOL_FAILED = "? Error writing a temporary file\n";

// Runs a diff into the worker's spool, which starts afresh once no report points into it.
void run_diff(Slot& slot, const Options& options, Worker& worker) {
  if (worker.spool != nullptr && worker.spool.use_count() == 1) {
    std::rewind(worker.spool->file);
    if (::ftruncate(::fileno(worker.spool->file), 0) != 0) worker.spool = nullptr;
  }
  if (worker.spool == nullptr) {
    worker.spool = std::make_shared<Spool>();
    worker.spool->file = std::tmpfile();
  }
  std::FILE* const file = worker.spool->file;
  const off_t offset = file != nullptr ? ::ftello(file) : -1;
  if (offset < 0) {
    worker.spool = nullptr;
    slot.rc = RC_IO_ERROR;
    slot.text = SPOOL_FAILED;
    return;
  }
  slot.rc = run_slot(slot, options, worker, file);
  const off_t end = ::ftello(file);
  if (std::fflush(file) != 0 || std::ferror(file) != 0 || end < offset) {
    // A diff cut short is no diff: the spool is given up, and the report says why.
    worker.spool = nullptr;
    slot.rc = RC_IO_ERROR;
    slot.text = SPOOL_FAILED;
    return;
  }
  slot.spool = worker.spool;
  slot.offset = offset;
  slot.length = static_cast<std::size_t>(end - offset);
}

// Runs anything else, its messages kept in memory.
void run_other(Slot& slot, const Options& options, Worker& worker) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* const messages = ::open_memstream(&buffer, &size);
  if (messages == nullptr) {
    slot.rc = RC_IO_ERROR;
    slot.text = SPOOL_FAILED;
    return;
  }
  slot.rc = run_slot(slot, options, worker, messages);
  std::fclose(messages);
  slot.text.assign(buffer, size);
  std::free(buffer);  // open_memstream's own allocation
}

void work(Shared& shared) {
  auto worker = std::make_unique_for_overwrite<Worker>();
  if (shared.options.diff) worker->diff = std::make_unique_for_overwrite<DiffInputs>();
  Options options = shared.options;
  options.only_if_changed = true;
  for (;;) {
    std::size_t index = 0;
    {
      std::unique_lock lock(shared.mutex);
      shared.work.wait(lock, [&] { return shared.next < shared.found || shared.walked; });
      if (shared.next == shared.found) return;
      index = shared.next++;
    }
    // The slot is this worker's alone until its report is done.
    Slot& slot = shared.slots[index % shared.slots.size()];
    if (options.diff) {
      run_diff(slot, options, *worker);
    } else {
      run_other(slot, options, *worker);
    }
    {
      const std::lock_guard lock(shared.mutex);
      slot.done = true;
    }
    shared.done.notify_one();  // only the thread that prints waits for this
  }
}

// Prints a file's report. Returns false when its spooled diff could not be read back.
bool print_report(const Slot& slot, std::array<char, 65536>& buffer, std::FILE* out) {
  bool read = true;
  if (slot.spool != nullptr) {
    const int fd = ::fileno(slot.spool->file);
    for (std::size_t done = 0; done < slot.length;) {
      const std::size_t want = std::min(buffer.size(), slot.length - done);
      const ssize_t n = ::pread(fd, buffer.data(), want, slot.offset + static_cast<off_t>(done));
      if (n <= 0) {
        std::fprintf(out, "? Error reading a temporary file\n");
        read = false;
        break;
      }
      std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), out);
      done += static_cast<std::size_t>(n);
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
  const long online = jobs > 0 ? jobs : ::sysconf(_SC_NPROCESSORS_ONLN);
  std::size_t workers = online < 1 ? 1 : static_cast<std::size_t>(online);
  rlimit limit{};
  std::size_t descriptors = 1024;
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    descriptors = static_cast<std::size_t>(limit.rlim_cur);
  }
  const std::size_t spare = descriptors > DESCRIPTORS_KEPT ? descriptors - DESCRIPTORS_KEPT : 0;
  // Workers take at most half of what is left; the open directories the rest.
  workers = std::clamp<std::size_t>(spare / 2 / DESCRIPTORS_PER_WORKER, 1, workers);
  const std::size_t used = workers * DESCRIPTORS_PER_WORKER;
  return {workers, spare > used ? spare - used : 1};
}

}  // namespace

ResultCode run_tree(const Options& options, std::FILE* out) {
  const Sizes sizes = sizes_for(options.jobs);
  DirectoryLog directories;
  Shared shared;
  shared.options = options;
  shared.options.paths = {};
  shared.slots = std::vector<Slot>(sizes.workers * AHEAD_PER_WORKER);
  std::vector<std::thread> threads;
  threads.reserve(sizes.workers);
  for (std::size_t i = 0; i < sizes.workers; ++i)
    threads.emplace_back(work, std::ref(shared));

  // This thread walks ahead while there are free slots, and prints the reports in order.
  Walk walk = begin_walk(options.paths, !options.no_settings, &directories);
  ResultCode failed = RC_OK;
  bool would_change = false;
  std::size_t reported = 0;
  const auto buffer = std::make_unique_for_overwrite<std::array<char, 65536>>();
  for (;;) {
    // Files waiting for their reports hold their directories open: past a number, the walk waits
    // for the reports before it opens more.
    while (!shared.walked && shared.found < reported + shared.slots.size() &&
           (shared.found == reported || directories.open < sizes.directories)) {
      Slot& slot = shared.slots[shared.found % shared.slots.size()];
      const bool more = next_file(walk, slot.file);
      {
        const std::lock_guard lock(shared.mutex);
        if (more) {
          ++shared.found;
        } else {
          shared.walked = true;
        }
      }
      if (more) {
        shared.work.notify_one();
      } else {
        shared.work.notify_all();
      }
    }
    if (reported == shared.found) break;  // and the walk has ended
    Slot& slot = shared.slots[reported % shared.slots.size()];
    {
      std::unique_lock lock(shared.mutex);
      shared.done.wait(lock, [&] { return slot.done; });
    }
    if (!print_report(slot, *buffer, out) && failed == RC_OK) failed = RC_IO_ERROR;
    if (slot.rc == RC_WOULD_CHANGE) {
      would_change = true;
    } else if (slot.rc != RC_OK && failed == RC_OK) {
      failed = slot.rc;
    }
    // Done with: its directory may close now, synced if a file was replaced in it.
    slot.file = Found{};
    slot.spool = nullptr;
    slot.text.clear();
    {
      const std::lock_guard lock(shared.mutex);
      slot.done = false;
    }
    ++reported;
  }
  for (std::thread& thread : threads)
    thread.join();
  walk = Walk{};
  // Each directory where files were replaced was synced once, as the run let go of it, before the
  // run says it succeeded: a file's own content was on disk before its rename, so a crash before
  // then leaves every file whole, old or new.
  std::sort(directories.unsynced.begin(), directories.unsynced.end());
  for (const std::string& directory : directories.unsynced) {
    std::fprintf(out, "? Error writing %s\n", printable(directory).c_str());
    if (failed == RC_OK) failed = RC_IO_ERROR;
  }
  if (failed != RC_OK) return failed;
  return would_change ? RC_WOULD_CHANGE : RC_OK;
}

}  // namespace quillet
