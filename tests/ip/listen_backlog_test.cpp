// Listener preparation: the accept queue depth and recovery from an accept
// error (here: no descriptor left for the accepted connection).
#include "ip/listen_backlog.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include "tests/support/loopback.h"

namespace quell {
namespace {

TEST(ListenBacklogTest, SystemLimitOrFallback) {
  QTemporaryDir dir;
  const auto limitIn = [&](const char* text) {
    const QString path = dir.filePath(QStringLiteral("somaxconn"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    return ListenBacklogLimit(QFile::encodeName(path).constData());
  };
  EXPECT_EQ(limitIn("4096\n"), 4096);
  EXPECT_EQ(limitIn("0\n"), kFallbackListenBacklog);
  EXPECT_EQ(limitIn("many"), kFallbackListenBacklog);
  EXPECT_EQ(ListenBacklogLimit("/nonexistent/somaxconn"), kFallbackListenBacklog);

  QTcpServer server;
  PrepareListener(server);
  EXPECT_EQ(server.listenBacklogSize(), ListenBacklogLimit());
  EXPECT_GE(server.listenBacklogSize(), 128);
}

// Holds the soft descriptor limit at `limit` until destroyed.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = limit;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

TEST(ListenBacklogTest, ListenerOutOfDescriptorsAcceptsAgainLater) {
  QTcpServer server;
  PrepareListener(server, 10);
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  int errors = 0, accepted = 0;
  QObject::connect(&server, &QTcpServer::acceptError, [&] { ++errors; });
  QObject::connect(&server, &QTcpServer::newConnection, [&] {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
      ++accepted;
      socket->deleteLater();
    }
  });

  // The kernel completes the connection; accepting it needs one more descriptor.
  const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(client, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(server.serverPort());
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  const int lowestFree = ::fcntl(client, F_DUPFD_CLOEXEC, 0);
  ASSERT_GE(lowestFree, 0);
  ::close(lowestFree);
  {
    // Only Qt's own event processing while descriptors are short: the
    // sanitizers' checks of calls made from here need descriptors too.
    QTimer wake;
    wake.start(20);
    const QDeadlineTimer deadline(5000);
    DescriptorLimit limit{rlim_t(lowestFree)};
    while (errors == 0 && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  ASSERT_GT(errors, 0);
  EXPECT_EQ(accepted, 0);
  EXPECT_TRUE(test::WaitFor([&] { return accepted == 1; }));
  ::close(client);
}

}  // namespace
}  // namespace quell
