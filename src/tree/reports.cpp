// The reports of a tree's files: handed from the walk to the workers, and printed in order.
#include "tree/reports.h"

namespace quillet {

Spool::~Spool() {
  if (file != nullptr) std::fclose(file);
}

Slot* Reports::free_slot() {
  // Only this thread, the walk's, which prints too, moves `found_` and `printed_`: it reads them
  // without the lock that the workers need to read them.
  return found_ < printed_ + slots_.size() ? &slots_[found_ % slots_.size()] : nullptr;
}

void Reports::publish() {
  {
    const std::lock_guard lock(mutex_);
    ++found_;
  }
  work_.notify_one();
}

void Reports::end() {
  {
    const std::lock_guard lock(mutex_);
    ended_ = true;
  }
  work_.notify_all();
}

Slot* Reports::take() {
  std::unique_lock lock(mutex_);
  work_.wait(lock, [&] { return taken_ < found_ || ended_; });
  if (taken_ == found_) return nullptr;
  return &slots_[taken_++ % slots_.size()];
}

void Reports::finish(Slot& slot) {
  {
    const std::lock_guard lock(mutex_);
    slot.done = true;
  }
  done_.notify_one();  // only the printer waits for this
}

Slot* Reports::next_done() {
  std::unique_lock lock(mutex_);
  if (printed_ == found_) return nullptr;
  Slot& slot = slots_[printed_ % slots_.size()];
  done_.wait(lock, [&] { return slot.done; });
  return &slot;
}

void Reports::printed(Slot& slot) {
  // Done with: its directory may close now, synced if a file was replaced in it.
  slot.file = Found{};
  slot.lines = nullptr;
  slot.settings_told = false;
  slot.spool = nullptr;
  slot.text.clear();
  const std::lock_guard lock(mutex_);
  slot.done = false;
  ++printed_;
}

}  // namespace quillet
