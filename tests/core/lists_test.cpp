#include <gtest/gtest.h>

#include "core/journal.h"
#include "core/shared_list.h"
#include "core/trace_view.h"

namespace quell {
namespace {

TEST(SharedTextList, HeadAndTailInsertsKeepOrder) {
  SharedTextList list;
  list.Append("b");
  list.Append("c");
  list.PutHead("a");
  EXPECT_EQ(list.Snapshot(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(list.TakeFirst(), "a");
  EXPECT_EQ(list.Front(), "b");
  list.RemoveFirst();
  list.RemoveFirst();
  EXPECT_FALSE(list.TakeFirst().has_value());
  list.RemoveFirst();  // harmless on an empty list
  EXPECT_TRUE(list.Empty());
}

TEST(TraceView, FlushesOnTheFiftyFirstLineAndEmpties) {
  TraceView view;
  std::vector<std::vector<std::string>> flushes;
  view.SetFlusher([&](const std::vector<std::string>& lines) { flushes.push_back(lines); });
  for (int i = 1; i <= 50; ++i) view.Append(std::to_string(i));
  EXPECT_TRUE(flushes.empty());
  EXPECT_EQ(view.Size(), 50u);
  view.Append("51");
  ASSERT_EQ(flushes.size(), 1u);
  EXPECT_EQ(flushes[0].size(), 51u);
  EXPECT_EQ(flushes[0].back(), "51");
  EXPECT_EQ(view.Size(), 0u);
}

TEST(Journal, TopInsertsAndObservers) {
  Journal journal;
  std::vector<std::string> seen;
  journal.onInsert = [&](size_t, const std::string& t) { seen.push_back(t); };
  journal.InsertTop("old");
  journal.InsertTop("new");
  journal.Append("bottom");
  EXPECT_EQ(journal.Entries().front(), "new");
  EXPECT_EQ(journal.Entries().back(), "bottom");
  EXPECT_EQ(seen.size(), 3u);
  journal.Clear();
  EXPECT_EQ(journal.Size(), 0u);
}

}  // namespace
}  // namespace quell
