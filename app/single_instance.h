#pragma once
// One gateway per user session: a lock file decides which copy runs, and
// the running copy listens on a local socket "QuellServerApp" so that a
// second copy can ask it to bring its window forward before leaving.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <memory>

namespace quell {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // dir holds the lock file and the socket; by default XDG_RUNTIME_DIR,
  // else the temporary directory.
  explicit SingleInstance(QObject* parent = nullptr);
  SingleInstance(QString dir, QObject* parent);
  ~SingleInstance() override;

  // True when no other copy runs: this one then holds the lock and
  // listens for requests until it ends.
  bool Acquire();
  // Asks the running copy to show its window; every wait is bounded.
  bool AskRunningToShow(int timeoutMs = 2000);

 Q_SIGNALS:
  void showRequested();

 private:
  void OnConnection();

  QString dir_;
  QString lockPath_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

}  // namespace quell
