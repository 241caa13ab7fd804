#include "store/pg_history_source.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include "store/pg_history.h"

namespace quell {

PgHistorySource::PgHistorySource(std::string conninfo, int deadlineMs)
    : conninfo_(std::move(conninfo)), deadlineMs_(deadlineMs) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ >= 0) {
    wake_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
    QObject::connect(wake_.get(), &QSocketNotifier::activated, wake_.get(), [this] { Deliver(); });
  }
}

PgHistorySource::~PgHistorySource() {
  if (reader_.joinable()) reader_.join();
  wake_.reset();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool PgHistorySource::Fetch(const HistoryRequest& request, std::function<void(HistoryPage)> done) {
  if (busy_ || wakeFd_ < 0) return false;
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
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  });
  return true;
}

void PgHistorySource::Deliver() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
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
