// The order and limits of runInOrder: which item may start, and when an
// item's result may be handed on.
#include "driver/job_pool.h"

#include <algorithm>

namespace tagfmt {

PoolOrder::PoolOrder(std::vector<std::uint64_t> sizes, PoolLimits limits)
    : sizes_(std::move(sizes)), done_(sizes_.size(), false), limits_(limits) {
  // A window of none would never start the item being waited for.
  limits_.window = std::max<std::size_t>(limits_.window, 1);
}

bool PoolOrder::mayTake() const {
  if (stopped_ || next_ == sizes_.size()) return true;
  return next_ < released_ + limits_.window &&
         (inFlight_ == 0 || inFlight_ + sizes_[next_] <= limits_.bytes);
}

bool PoolOrder::take(std::size_t& index) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return mayTake(); });
  if (stopped_ || next_ == sizes_.size()) return false;
  inFlight_ += sizes_[next_];
  index = next_++;
  return true;
}

void PoolOrder::done(std::size_t index) {
  const std::lock_guard lock(mutex_);
  done_[index] = true;
  changed_.notify_all();
}

void PoolOrder::await(std::size_t index) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return done_[index]; });
}

void PoolOrder::release(std::size_t index) {
  const std::lock_guard lock(mutex_);
  released_ = index + 1;
  inFlight_ -= sizes_[index];
  changed_.notify_all();
}

void PoolOrder::stop() {
  const std::lock_guard lock(mutex_);
  stopped_ = true;
  changed_.notify_all();
}

}  // namespace tagfmt
