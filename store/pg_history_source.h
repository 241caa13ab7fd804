#pragma once
// The shared history on a PostgreSQL server, read on a thread of its own so
// the caller's thread (the window's, which also runs the engine) never
// waits on the network: host name lookup, connection and query each end at
// a deadline, and the page is posted back to the caller's event loop.
#include <QObject>
#include <memory>
#include <string>
#include <thread>

#include "store/history_source.h"

namespace quell {

class PgHistorySource : public HistorySource {
 public:
  static constexpr int kDeadlineMs = 2000;  // for the connection, then for the query

  explicit PgHistorySource(std::string conninfo, int deadlineMs = kDeadlineMs);
  // Waits for a page still being read (at most its deadlines).
  ~PgHistorySource() override;
  PgHistorySource(const PgHistorySource&) = delete;
  PgHistorySource& operator=(const PgHistorySource&) = delete;

  bool Shared() const override { return true; }
  bool Fetch(const HistoryRequest& request, std::function<void(HistoryPage)> done) override;

 private:
  const std::string conninfo_;
  const int deadlineMs_;
  // Lives on the caller's thread: the finished page is posted to it, and
  // a page posted after its end is never delivered.
  std::unique_ptr<QObject> home_;
  bool busy_ = false;  // touched on the caller's thread only
  std::thread reader_;
};

}  // namespace quell
