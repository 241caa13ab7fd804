#pragma once
// The store of a gateway whose store settings cannot be used: nothing is
// written, every sender hears "not stored", and rows without a sender wait
// in memory until the gateway is restarted with corrected settings. Never
// a silent fallback to another store.
#include <QMetaObject>
#include <QObject>
#include <mutex>
#include <string>
#include <vector>

#include "store/event_backend.h"

namespace quell {

class RefusingStore final : public EventBackend {
 public:
  RefusingStore(std::string problem, QObject* context)
      : problem_(std::move(problem)), context_(context) {}

  RowKey Add(EventRow row, Done done, bool keep = false) override {
    std::lock_guard g(lock_);
    row.seq = ++lastSeq_;
    if (keep) held_.push_back(row);
    if (done && context_)
      QMetaObject::invokeMethod(
          context_, [done = std::move(done), keep] { done(keep); }, Qt::QueuedConnection);
    return row.Key();
  }
  RowKey AddGroup(std::vector<EventRow> rows, Done done) override {
    std::lock_guard g(lock_);
    const int64_t first = lastSeq_ + 1;
    lastSeq_ += int64_t(rows.size());
    if (done && context_)
      QMetaObject::invokeMethod(
          context_, [done = std::move(done)] { done(false); }, Qt::QueuedConnection);
    return RowKey{{}, 0, first};
  }
  RowKey AddAndWait(EventRow, int, const std::atomic<bool>*) override { return {}; }
  void SetFate(const RowKey&, EventTarget, EventFate) override {}
  bool Writable() const override { return false; }
  std::string LastError() const override { return problem_; }

 private:
  const std::string problem_;
  QObject* const context_;
  std::mutex lock_;
  int64_t lastSeq_ = 0;
  std::vector<EventRow> held_;
};

}  // namespace quell
