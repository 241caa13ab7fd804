#include "sim/quit_on_signal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace quell::sim {
namespace {

int wakeWrite = -1;  // the handler's only way out of signal context

void OnSignal(int) {
  int saved = errno;
  char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeWrite, &byte, 1);
  errno = saved;
}

}  // namespace

bool QuitOnSignals(std::string* error) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  wakeWrite = fds[1];
  auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                   [] { QCoreApplication::quit(); });
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
  return true;
}

}  // namespace quell::sim
