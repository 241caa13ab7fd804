#pragma once
// Wakes an event loop from any thread: an eventfd watched by a socket
// notifier on the thread that made this object. Only the wake passes here;
// what the waking thread hands over passes under the caller's own lock.
// Wakes that come before the loop turns run onWake once.
#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace quell {

class LoopWake {
 public:
  // context: parent of the notifier (null: none); onWake runs on the loop.
  LoopWake(QObject* context, std::function<void()> onWake);
  ~LoopWake();
  LoopWake(const LoopWake&) = delete;
  LoopWake& operator=(const LoopWake&) = delete;

  // False when no eventfd could be made: Wake does nothing.
  bool Ok() const { return fd_ >= 0; }
  // Any thread.
  void Wake() const;

 private:
  int fd_ = -1;
  std::function<void()> onWake_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quell
