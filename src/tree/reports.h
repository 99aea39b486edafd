// The reports of a tree's files: handed from the walk to the workers, and printed in order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/lines.h"
#include "base/result.h"
#include "tree/walk.h"

namespace quillet {

/// A temporary file where a worker's diffs wait for their turn, shared by the reports that point
/// into it, and closed with the last of them.
struct Spool {
  std::FILE* file = nullptr;

  Spool() = default;
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;
  ~Spool();
};

/// One file of the walk, from the moment it is found until its report is printed.
struct Slot {
  Found file;
  const LineRanges* lines = nullptr;  // with -since: the file's lines that may change
  bool settings_told = false;         // its refused settings file was told at a file before it
  ResultCode rc = RC_OK;
  std::string text;              // its messages, whatever their length
  std::shared_ptr<Spool> spool;  // where its diff waits, printed before `text`
  std::int64_t offset = 0;
  std::size_t length = 0;
  bool done = false;  // its report is done
};

/// Files in the order of the walk, handed from the walk to the workers and, their reports done,
/// to the thread that prints them, in a ring of slots: file i lives in slot i % size, so the walk
/// is never further ahead of the printed reports than there are slots.
class Reports {
 public:
  explicit Reports(std::size_t size) : slots_(size) {}

  /// The walk: the slot for the next file, or nullptr while every slot waits for its report.
  [[nodiscard]] Slot* free_slot();
  /// The walk: the free slot holds a file now, for a worker to take.
  void publish();
  /// The walk: there are no more files.
  void end();
  /// How many files are found and not printed yet.
  [[nodiscard]] std::size_t pending() const { return found_ - printed_; }

  /// A worker: the next file to run, waiting for one; nullptr once the walk has ended and every
  /// file is taken. The slot is the worker's alone until it calls finish.
  [[nodiscard]] Slot* take();
  /// A worker: the slot's report is done.
  void finish(Slot& slot);

  /// The printer: the next slot in order, once its report is done; nullptr when every file found
  /// is printed and the walk has ended, or when it has not ended and none is pending.
  [[nodiscard]] Slot* next_done();
  /// The printer: the slot's report is printed; the slot is free again.
  void printed(Slot& slot);

 private:
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable work_;  // a file was found, or the walk ended
  std::condition_variable done_;  // a file's report is done
  std::size_t found_ = 0;         // files the walk has put in their slots
  std::size_t taken_ = 0;         // files handed to a worker
  std::size_t printed_ = 0;       // files whose reports are printed
  bool ended_ = false;            // the walk has ended
};

}  // namespace quillet
