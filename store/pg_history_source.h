#pragma once
// The shared history on a PostgreSQL server, read on a thread of its own so
// the caller's thread (the window's, which also runs the engine) never
// waits on the network: host name lookup, connection and query each end at
// a deadline, and the page is handed back to the caller's event loop (under
// a lock, with an eventfd to wake it).
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/loop_wake.h"
#include "store/history_source.h"

namespace quell {

class PgHistorySource : public HistorySource {
 public:
  static constexpr int kDeadlineMs = 2000;  // for the connection, then for the query

  explicit PgHistorySource(std::string conninfo, int deadlineMs = kDeadlineMs);
  // Waits for a page still being read (at most its deadlines); a page read
  // but not yet delivered is dropped.
  ~PgHistorySource() override;
  PgHistorySource(const PgHistorySource&) = delete;
  PgHistorySource& operator=(const PgHistorySource&) = delete;

  bool Shared() const override { return true; }
  bool Fetch(const HistoryRequest& request, std::function<void(HistoryPage)> done) override;

 private:
  // Caller's thread: delivers the page the reader has left.
  void Deliver();

  const std::string conninfo_;
  const int deadlineMs_;
  std::unique_ptr<LoopWake> wake_;
  // Caller's thread only.
  bool busy_ = false;
  std::function<void(HistoryPage)> done_;
  std::thread reader_;
  std::mutex lock_;
  std::optional<HistoryPage> ready_;  // the reader's page, until delivered
};

}  // namespace quell
