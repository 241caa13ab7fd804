#include "ip/listen_backlog.h"

#include <sys/resource.h>
#include <QTimer>
#include <fstream>

namespace quell {

int ListenBacklogLimit(const char* path) {
  std::ifstream file(path);
  int limit = 0;
  if (!(file >> limit) || limit <= 0) return kFallbackListenBacklog;
  return limit;
}

void PrepareListener(QTcpServer& server, int retryMs) {
  server.setListenBacklogSize(ListenBacklogLimit());
  QObject::connect(&server, &QTcpServer::acceptError, &server, [&server, retryMs] {
    QTimer::singleShot(retryMs, &server, [&server] { server.resumeAccepting(); });
  });
}

bool RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur == limit.rlim_max) return true;
  limit.rlim_cur = limit.rlim_max;
  return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

}  // namespace quell
