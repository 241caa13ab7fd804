#pragma once
// The history in the events file, opened read-only beside the running store
// for each page and read at once on the calling thread.
#include <string>

#include "store/history_source.h"

namespace quell {

class SqliteHistorySource : public HistorySource {
 public:
  explicit SqliteHistorySource(std::string path) : path_(std::move(path)) {}
  bool Shared() const override { return false; }
  bool Fetch(const HistoryRequest& request, std::function<void(HistoryPage)> done) override;

 private:
  const std::string path_;
};

}  // namespace quell
