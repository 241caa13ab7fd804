#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/shared_list.h"
#include "core/trace_view.h"

namespace quell {
namespace {

TEST(SharedListThreads, ConcurrentAppendsAndDrainLoseNothing) {
  SharedTextList list;
  constexpr int kThreads = 4, kEach = 2000;
  std::vector<std::thread> producers;
  for (int t = 0; t < kThreads; ++t)
    producers.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) list.Append(std::to_string(t) + ":" + std::to_string(i));
    });
  int drained = 0;
  while (drained < kThreads * kEach) {
    if (list.TakeFirst()) ++drained;
  }
  for (auto& p : producers) p.join();
  EXPECT_TRUE(list.Empty());
}

TEST(SharedListThreads, TraceViewFlushesWholeBatchesFromManyThreads) {
  TraceView view;
  size_t flushed = 0;
  view.SetFlusher([&](const std::vector<std::string>& lines) { flushed += lines.size(); });
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t)
    writers.emplace_back([&] {
      for (int i = 0; i < 510; ++i) view.Append("x");
    });
  for (auto& w : writers) w.join();
  EXPECT_EQ(flushed + view.Size(), 1530u);
}

}  // namespace
}  // namespace quell
