// The ordered pool: results in order whatever finishes first, and never
// more items or bytes ahead than its limits allow.
#include "driver/job_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tagfmt {
namespace {

// What the work and the sink see, under one lock: the items started and
// not yet handed on are at least the pool's items in flight, but for the
// one the sink is about to be given.
struct Watch {
  std::mutex mutex;
  std::vector<bool> started;
  std::size_t handedOn = 0;
  std::vector<std::string> faults;

  void start(std::size_t index, const std::vector<std::uint64_t>& sizes,
             const PoolLimits& limits) {
    const std::lock_guard lock(mutex);
    started[index] = true;
    std::uint64_t bytes = 0;
    std::size_t items = 0;
    // Item handedOn may be out of the pool's count and not yet handed on.
    for (std::size_t i = handedOn + 1; i < sizes.size(); ++i) {
      if (started[i]) {
        bytes += sizes[i];
        ++items;
      }
    }
    if (items > 1 && bytes > limits.bytes) {
      faults.push_back(std::to_string(bytes) + " bytes at item " +
                       std::to_string(index));
    }
    if (index > handedOn + limits.window) {
      faults.push_back("item " + std::to_string(index) + " ran after only " +
                       std::to_string(handedOn));
    }
  }
};

void pause(std::mt19937& random, std::mutex& mutex) {
  unsigned micros = 0;
  {
    const std::lock_guard lock(mutex);
    micros = random() % 200;
  }
  std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

TEST(JobPool, OrderAndLimitsUnderRandomDelays) {
  const struct {
    const char* name;
    PoolLimits limits;
    std::vector<std::uint64_t> sizes;
  } cases[] = {
      {"many small items", {4, 8, 1000}, std::vector<std::uint64_t>(200, 1)},
      {"the byte bound",
       {4, 16, 100},
       {10, 40, 70, 30, 60, 20, 90, 10, 50, 40, 30, 80, 20, 60, 70, 10, 40,
        90}},
      {"an item over the bound runs alone",
       {3, 8, 100},
       {50, 500, 50, 50, 300, 20, 20, 20}},
      {"a window of one", {3, 1, 1000}, std::vector<std::uint64_t>(30, 5)},
      {"one worker", {1, 4, 1000}, std::vector<std::uint64_t>(20, 7)},
      {"no workers asked for", {0, 4, 1000}, {1, 2, 3}},
      {"zero items", {4, 8, 1000}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Watch watch;
    watch.started.assign(c.sizes.size(), false);
    std::mt19937 random(7);
    std::mutex randomMutex;
    std::vector<std::size_t> order;
    runInOrder<std::unique_ptr<std::size_t>>(
        c.sizes, c.limits,
        [&](std::size_t index) {
          watch.start(index, c.sizes, c.limits);
          pause(random, randomMutex);
          return std::make_unique<std::size_t>(index * 3);
        },
        [&](std::size_t index, std::unique_ptr<std::size_t> result) {
          EXPECT_EQ(*result, index * 3);
          order.push_back(index);
          pause(random, randomMutex);
          const std::lock_guard lock(watch.mutex);
          watch.handedOn = index + 1;
        });
    std::vector<std::size_t> wanted(c.sizes.size());
    std::iota(wanted.begin(), wanted.end(), std::size_t{0});
    EXPECT_EQ(order, wanted);
    EXPECT_EQ(watch.faults, std::vector<std::string>());
  }
}

TEST(JobPool, ASinkThatThrowsStopsTheRun) {
  std::size_t ran = 0;
  std::mutex mutex;
  const auto run = [&] {
    runInOrder<std::size_t>(
        std::vector<std::uint64_t>(100, 1), PoolLimits{2, 4, 1000},
        [&](std::size_t index) {
          const std::lock_guard lock(mutex);
          ++ran;
          return index;
        },
        [](std::size_t index, std::size_t) {
          if (index == 3) throw std::runtime_error("full");
        });
  };
  EXPECT_THROW(run(), std::runtime_error);
  // Items 0 to 3 and at most a window beyond the one that threw.
  EXPECT_LE(ran, 4u + 4u);
}

}  // namespace
}  // namespace tagfmt
