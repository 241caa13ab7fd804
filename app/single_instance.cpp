#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalSocket>
#include <QSet>
#include <cstdio>

namespace quell {

namespace {

const QString kName = QStringLiteral("QuellServerApp");
const QByteArray kShow = "show\n";

QString RuntimeDir() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
  return QDir::tempPath();
}

// Lock files held by a SingleInstance of this process.
QSet<QString>& HeldHere() {
  static QSet<QString> held;
  return held;
}

// A lock that names this very process but that no SingleInstance here holds
// was left by a copy that crashed and whose process id came round to us (a
// restarted container numbers its processes from 1 again). The pid check
// would take it for a running copy forever.
bool TakeOverLockOfEarlierLife(QLockFile& lock, const QString& path) {
  if (lock.error() != QLockFile::LockFailedError || HeldHere().contains(path)) return false;
  qint64 pid = 0;
  if (!lock.getLockInfo(&pid, nullptr, nullptr) || pid != QCoreApplication::applicationPid())
    return false;
  return lock.removeStaleLockFile() && lock.tryLock(0);
}

}  // namespace

SingleInstance::SingleInstance(QObject* parent) : SingleInstance(RuntimeDir(), parent) {}

SingleInstance::SingleInstance(QString dir, QObject* parent)
    : QObject(parent), dir_(std::move(dir)) {
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
}

SingleInstance::~SingleInstance() {
  server_.close();
  if (lock_) HeldHere().remove(lockPath_);
}

bool SingleInstance::Acquire() {
  lockPath_ = dir_ + QLatin1Char('/') + kName + QStringLiteral(".lock");
  lock_ = std::make_unique<QLockFile>(lockPath_);
  lock_->setStaleLockTime(0);  // a lock left by a dead process is detected by its pid
  if (!lock_->tryLock(0) && !TakeOverLockOfEarlierLife(*lock_, lockPath_)) {
    if (lock_->error() != QLockFile::LockFailedError) {
      // The lock cannot be made at all (no permission, full disk): better a
      // running gateway without the guard than none.
      std::fprintf(stderr, "Single-instance lock %s cannot be created; running without it\n",
                   qPrintable(lockPath_));
      lock_.reset();
      return true;
    }
    lock_.reset();
    return false;
  }
  HeldHere().insert(lockPath_);
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
