#include "store/history_source.h"

#include "store/pg_history_source.h"
#include "store/sqlite_history_source.h"

namespace quell {
namespace {

// Settings the store refuses: the page says why instead of reading
// another history.
class RefusedHistorySource : public HistorySource {
 public:
  explicit RefusedHistorySource(std::string why) : why_(std::move(why)) {}
  bool Shared() const override { return false; }
  bool Fetch(const HistoryRequest&, std::function<void(HistoryPage)> done) override {
    HistoryPage page;
    page.error = why_;
    done(std::move(page));
    return true;
  }

 private:
  const std::string why_;
};

}  // namespace

std::unique_ptr<HistorySource> OpenHistorySource(const StoreSettings& settings) {
  if (!settings.problem.empty())
    return std::make_unique<RefusedHistorySource>("EventStore.ini: " + settings.problem);
  if (settings.backend == StoreBackend::Postgresql)
    return std::make_unique<PgHistorySource>(settings.conninfo);
  return std::make_unique<SqliteHistorySource>(settings.path);
}

}  // namespace quell
