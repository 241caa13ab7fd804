#include "app/signals.h"

#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace quell {

namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

void Install(int signo, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signo, &action, nullptr);
}

}  // namespace

void IgnoreBrokenPipe() {
  Install(SIGPIPE, SIG_IGN);
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
  notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);
  Install(SIGTERM, OnSignal);
  Install(SIGINT, OnSignal);
}

TerminationSignals::~TerminationSignals() {
  Install(SIGTERM, SIG_DFL);
  Install(SIGINT, SIG_DFL);
  delete notifier_;
  if (g_pipe[0] >= 0) ::close(g_pipe[0]);
  if (g_pipe[1] >= 0) ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::OnReadable() {
  char buffer[64];
  while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
  }
  Q_EMIT terminateRequested();
}

}  // namespace quell
