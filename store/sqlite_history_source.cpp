#include "store/sqlite_history_source.h"

namespace quell {

bool SqliteHistorySource::Fetch(const HistoryRequest& request,
                                std::function<void(HistoryPage)> done) {
  // In the file the sequence number alone orders the rows.
  EventQuery q = request.query;
  q.newestFirst = true;
  q.beforeSeq = request.before ? request.before->seq : 0;
  HistoryPage page;
  EventDb db;
  page.ok = db.OpenReadOnly(path_, &page.error) && db.Read(
                                                       q,
                                                       [&](const EventRow& r) {
                                                         page.rows.push_back({{}, 0, r});
                                                         return true;
                                                       },
                                                       &page.error);
  if (!page.ok) page.rows.clear();
  done(std::move(page));
  return true;
}

}  // namespace quell
