#include "tree/tree.h"

#include <unistd.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "diff/diff.h"
#include "run/entry.h"
#include "run/in_place.h"
#include "run/io.h"
#include "settings/settings.h"
#include "tree/walk.h"

namespace quillet {
namespace {

// The walk may run ahead of the reports by this many files per worker, so that the files waiting
// to be run or reported stay few, however many there are.
constexpr std::size_t AHEAD_PER_WORKER = 16;
// Room for a file's message, which names at most one path and a suffix.
constexpr std::size_t MESSAGE_SIZE = 2 * PATH_BUFFER_SIZE;

// One file of the walk, from the moment it is found until its report is printed.
struct Slot {
  std::string path;
  std::shared_ptr<const Settings> settings;  // those of the file's directory, unless "-noconf"
  bool unreadable = false;                   // a directory that could not be read, not a file
  std::array<char, MESSAGE_SIZE> text;
  std::size_t length = 0;
  ResultCode rc = RC_OK;
  bool done = false;
  std::FILE* spool = nullptr;  // with "-diff", where the messages wait
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
  std::size_t reported = 0;      // files whose reports are printed
};

// A worker's buffers, made once, and the directories whose renames it has left to sync.
struct Buffers {
  Files files;
  std::unique_ptr<DiffInputs> diff;  // with "-diff" only
  std::string unsynced;
  std::set<std::string> directories;
};

ResultCode run_slot(const Slot& slot, const Options& options, Buffers& buffers,
                    std::FILE* messages) {
  if (slot.unreadable) {
    std::fprintf(messages, "? Error reading %s\n", slot.path.c_str());
    return RC_IO_ERROR;
  }
  Options file_options = options;
  file_options.input_file = slot.path.c_str();
  if (slot.settings != nullptr) {
    const ResultCode rc = apply_settings(*slot.settings, file_options, messages);
    if (rc != RC_OK) return rc;
  }
  order_columns(file_options);
  if (options.diff) return diff_file(file_options, buffers.files, *buffers.diff, messages);
  if (options.check) return check_file(file_options, buffers.files, messages);
  buffers.unsynced.clear();
  const ResultCode rc = rewrite_in_place(file_options, buffers.files, messages, &buffers.unsynced);
  if (!buffers.unsynced.empty()) buffers.directories.insert(buffers.unsynced);
  return rc;
}

// Where a file's messages wait for their turn: a diff may be long, and goes to a temporary file
// made once for the slot; anything else fits in the slot's own text.
std::FILE* open_messages(Slot& slot, bool diff) {
  if (!diff) return ::fmemopen(slot.text.data(), slot.text.size(), "w");
  if (slot.spool == nullptr) slot.spool = std::tmpfile();
  return slot.spool;
}

void close_messages(Slot& slot, std::FILE* messages) {
  if (messages == nullptr) return;
  if (messages == slot.spool) {
    std::fflush(messages);
    return;
  }
  const long length = std::ftell(messages);
  std::fclose(messages);
  slot.length = length > 0 ? static_cast<std::size_t>(length) : 0;
}

// Prints a file's messages, and makes its slot ready for another file.
void print_messages(Slot& slot, std::FILE* out) {
  if (slot.spool == nullptr) {
    std::fwrite(slot.text.data(), 1, slot.length, out);
    return;
  }
  std::rewind(slot.spool);
  for (std::size_t n; (n = std::fread(slot.text.data(), 1, slot.text.size(), slot.spool)) > 0;)
    std::fwrite(slot.text.data(), 1, n, out);
  std::rewind(slot.spool);
  (void)::ftruncate(::fileno(slot.spool), 0);
}

void work(Shared& shared, std::set<std::string>& unsynced) {
  const auto buffers = std::make_unique_for_overwrite<Buffers>();
  if (shared.options.diff) buffers->diff = std::make_unique_for_overwrite<DiffInputs>();
  Options options = shared.options;
  options.only_if_changed = true;
  for (;;) {
    std::size_t index = 0;
    {
      std::unique_lock lock(shared.mutex);
      shared.work.wait(lock, [&] { return shared.next < shared.found || shared.walked; });
      if (shared.next == shared.found) {
        unsynced = std::move(buffers->directories);
        return;
      }
      index = shared.next++;
    }
    // The slot is this worker's alone until its report is done.
    Slot& slot = shared.slots[index % shared.slots.size()];
    std::FILE* messages = open_messages(slot, options.diff);
    slot.rc = run_slot(slot, options, *buffers, messages != nullptr ? messages : stdout);
    close_messages(slot, messages);
    {
      const std::lock_guard lock(shared.mutex);
      slot.done = true;
    }
    shared.done.notify_one();  // only the thread that prints waits for this
  }
}

std::size_t worker_count(std::int32_t jobs) {
  const long count = jobs > 0 ? jobs : ::sysconf(_SC_NPROCESSORS_ONLN);
  return count < 1 ? 1 : static_cast<std::size_t>(count);
}

}  // namespace

ResultCode run_tree(const Options& options, std::FILE* out) {
  const std::size_t workers = worker_count(options.jobs);
  Shared shared{options, std::vector<Slot>(workers * AHEAD_PER_WORKER), {}, {}, {}, 0, false, 0, 0};
  shared.options.paths = {};
  std::vector<std::thread> threads;
  std::vector<std::set<std::string>> unsynced(workers);
  threads.reserve(workers);
  for (std::size_t i = 0; i < workers; ++i)
    threads.emplace_back(work, std::ref(shared), std::ref(unsynced[i]));

  // This thread walks ahead while there are free slots, and prints the reports in order.
  Walk walk = begin_walk(options.paths);
  SettingsCache settings;
  ResultCode failed = RC_OK;
  bool would_change = false;
  for (;;) {
    while (!shared.walked && shared.found < shared.reported + shared.slots.size()) {
      Slot& slot = shared.slots[shared.found % shared.slots.size()];
      const bool more = next_file(walk, slot.path, slot.unreadable);
      slot.settings = more && !slot.unreadable && !options.no_settings
                          ? find_settings(settings, slot.path.c_str())
                          : nullptr;
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
    if (shared.reported == shared.found) break;  // and the walk has ended
    Slot& slot = shared.slots[shared.reported % shared.slots.size()];
    {
      std::unique_lock lock(shared.mutex);
      shared.done.wait(lock, [&] { return slot.done; });
    }
    print_messages(slot, out);
    if (slot.rc == RC_WOULD_CHANGE) {
      would_change = true;
    } else if (slot.rc != RC_OK && failed == RC_OK) {
      failed = slot.rc;
    }
    {
      const std::lock_guard lock(shared.mutex);
      slot.done = false;
      slot.length = 0;
      ++shared.reported;
    }
  }
  for (std::thread& thread : threads)
    thread.join();
  for (Slot& slot : shared.slots) {
    if (slot.spool != nullptr) std::fclose(slot.spool);
  }
  // Each directory where files were replaced is synced once, before the run says it succeeded:
  // a file's own content was on disk before its rename, so a crash before this leaves every file
  // whole, old or new.
  std::set<std::string> directories;
  for (std::set<std::string>& some : unsynced)
    directories.merge(some);
  for (const std::string& directory : directories) {
    const ResultCode rc = sync_directory(directory.c_str(), out);
    if (rc != RC_OK && failed == RC_OK) failed = rc;
  }
  if (failed != RC_OK) return failed;
  return would_change ? RC_WOULD_CHANGE : RC_OK;
}

}  // namespace quillet
