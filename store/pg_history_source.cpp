#include "store/pg_history_source.h"

#include "store/pg_history.h"

namespace quell {

PgHistorySource::PgHistorySource(std::string conninfo, int deadlineMs)
    : conninfo_(std::move(conninfo)),
      deadlineMs_(deadlineMs),
      wake_(std::make_unique<LoopWake>(nullptr, [this] { Deliver(); })) {}

PgHistorySource::~PgHistorySource() {
  if (reader_.joinable()) reader_.join();
  wake_.reset();
}

bool PgHistorySource::Fetch(const HistoryRequest& request, std::function<void(HistoryPage)> done) {
  if (busy_ || !wake_->Ok()) return false;
  // The previous reader has left its page: it is ending, if not gone.
  if (reader_.joinable()) reader_.join();
  busy_ = true;
  done_ = std::move(done);
  reader_ = std::thread([this, request] {
    HistoryPage page;
    EventQuery q = request.query;
    q.newestFirst = true;
    page.ok = PgHistory::Read(
        conninfo_, q, request.node,
        [&](const HistoryRow& h) {
          page.rows.push_back(h);
          return true;
        },
        &page.error, request.before, deadlineMs_);
    if (!page.ok) page.rows.clear();
    {
      std::lock_guard g(lock_);
      ready_ = std::move(page);
    }
    wake_->Wake();
  });
  return true;
}

void PgHistorySource::Deliver() {
  std::optional<HistoryPage> page;
  {
    std::lock_guard g(lock_);
    page.swap(ready_);
  }
  if (!page) return;
  busy_ = false;
  const auto done = std::move(done_);
  done_ = nullptr;
  if (done) done(std::move(*page));
}

}  // namespace quell
