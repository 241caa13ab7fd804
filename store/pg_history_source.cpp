#include "store/pg_history_source.h"

#include "store/pg_history.h"

namespace quell {

PgHistorySource::PgHistorySource(std::string conninfo, int deadlineMs)
    : conninfo_(std::move(conninfo)), deadlineMs_(deadlineMs), home_(std::make_unique<QObject>()) {}

PgHistorySource::~PgHistorySource() {
  if (reader_.joinable()) reader_.join();
  home_.reset();  // drops a page posted but not yet delivered
}

bool PgHistorySource::Fetch(const HistoryRequest& request, std::function<void(HistoryPage)> done) {
  if (busy_) return false;
  // The previous reader has posted its page: it is ending, if not gone.
  if (reader_.joinable()) reader_.join();
  busy_ = true;
  // Shared between the reader and the posted call; only one touches it at
  // a time (the post hands it over).
  auto page = std::make_shared<HistoryPage>();
  auto then = std::make_shared<std::function<void(HistoryPage)>>(std::move(done));
  QObject* home = home_.get();
  reader_ = std::thread([this, request, page, then, home] {
    EventQuery q = request.query;
    q.newestFirst = true;
    page->ok = PgHistory::Read(
        conninfo_, q, request.node,
        [&](const HistoryRow& h) {
          page->rows.push_back(h);
          return true;
        },
        &page->error, request.before, deadlineMs_);
    if (!page->ok) page->rows.clear();
    QMetaObject::invokeMethod(
        home,
        [this, page, then] {
          busy_ = false;
          (*then)(std::move(*page));
        },
        Qt::QueuedConnection);
  });
  return true;
}

}  // namespace quell
