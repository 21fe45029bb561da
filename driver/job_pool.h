// Work on many items run on a few threads and handed on in the items'
// order, a bounded way ahead of the one being handed on.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tagfmt {

// How far workers may run ahead of the item being handed on: at most
// `window` items, and at most `bytes` of the items' sizes, unless an item
// is alone in flight, so that an item larger than `bytes` still runs.
struct PoolLimits {
  unsigned workers = 1;
  std::size_t window = 4;
  std::uint64_t bytes = std::uint64_t{32} << 20;
};

// The bookkeeping of runInOrder: which item runs next and which are done.
// An item counts in flight from take() until release().
class PoolOrder {
 public:
  PoolOrder(std::vector<std::uint64_t> sizes, PoolLimits limits);
  PoolOrder(const PoolOrder&) = delete;
  PoolOrder& operator=(const PoolOrder&) = delete;

  // The next item for a worker, once the limits let it run; false when
  // every item is taken or stop() was called.
  bool take(std::size_t& index);
  // Item `index`'s result is in its slot.
  void done(std::size_t index);
  // Waits until item `index` is done.
  void await(std::size_t index);
  // Item `index`, the next in order, is handed on: later ones may start.
  void release(std::size_t index);
  // Takes no more items.
  void stop();

 private:
  bool mayTake() const;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::uint64_t> sizes_;
  std::vector<bool> done_;
  PoolLimits limits_;
  std::size_t next_ = 0;
  std::size_t released_ = 0;
  std::uint64_t inFlight_ = 0;
  bool stopped_ = false;
};

// Runs `work(index)` for each item, whose sizes are `sizes`, on
// `limits.workers` threads within `limits`, and calls `sink(index, result)`
// on the calling thread for each in the order of the items. `work` must not
// throw (a job catches what the standard library throws at its own
// boundary); when `sink` throws, or a
// thread cannot start, no more items start and the exception
// leaves once the running ones end.
template <typename Result, typename Work, typename Sink>
void runInOrder(std::vector<std::uint64_t> sizes, PoolLimits limits,
                const Work& work, const Sink& sink) {
  const std::size_t count = sizes.size();
  std::vector<std::optional<Result>> slots(count);
  PoolOrder order(std::move(sizes), limits);
  std::vector<std::jthread> workers;
  // A slot is written by one worker before done() and read after await(),
  // so the order's mutex is all the slots need.
  const auto run = [&] {
    for (std::size_t index = 0; order.take(index);) {
      slots[index].emplace(work(index));
      order.done(index);
    }
  };
  try {
    const unsigned threads = limits.workers > 0 ? limits.workers : 1;
    for (unsigned w = 0; w < threads && w < count; ++w) {
      workers.emplace_back(run);
    }
    for (std::size_t index = 0; index < count; ++index) {
      order.await(index);
      Result result = std::move(*slots[index]);
      slots[index].reset();
      order.release(index);
      sink(index, std::move(result));
    }
  } catch (...) {
    order.stop();
    throw;
  }
}

}  // namespace tagfmt
