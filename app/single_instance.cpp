#include "app/single_instance.h"

#include <QDir>
#include <QLocalSocket>

namespace quell {

namespace {

const QString kName = QStringLiteral("QuellServerApp");
const QByteArray kShow = "show\n";

QString RuntimeDir() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
  return QDir::tempPath();
}

}  // namespace

SingleInstance::SingleInstance(QObject* parent) : SingleInstance(RuntimeDir(), parent) {}

SingleInstance::SingleInstance(QString dir, QObject* parent)
    : QObject(parent), dir_(std::move(dir)) {
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
}

SingleInstance::~SingleInstance() {
  server_.close();
}

bool SingleInstance::Acquire() {
  lock_ = std::make_unique<QLockFile>(dir_ + QLatin1Char('/') + kName + QStringLiteral(".lock"));
  lock_->setStaleLockTime(0);  // a lock left by a dead process is detected by its pid
  if (!lock_->tryLock(0)) {
    lock_.reset();
    return false;
  }
  // The socket lives beside the lock; one left by a crashed copy is removed.
  const QString socketPath = dir_ + QLatin1Char('/') + kName;
  QLocalServer::removeServer(socketPath);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(socketPath);  // without it the copy still runs, only unreachable
  return true;
}

bool SingleInstance::AskRunningToShow(int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(dir_ + QLatin1Char('/') + kName);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kShow);
  const bool sent = socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
  return sent;
}

void SingleInstance::OnConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      while (socket->canReadLine())
        if (socket->readLine().startsWith("show")) Q_EMIT showRequested();
    });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  }
}

}  // namespace quell
