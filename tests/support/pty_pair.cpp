#include "tests/support/pty_pair.h"

#include <poll.h>
#include <unistd.h>

#include <QFile>
#include <chrono>

namespace quell::test {

void PtyMaster::Send(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(pair_.MasterFd(), bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += size_t(n);
    } else {
      pollfd fd{pair_.MasterFd(), POLLOUT, 0};
      if (::poll(&fd, 1, 1000) <= 0) return;
    }
  }
}

std::string PtyMaster::Receive(size_t count, int timeoutMs) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  std::string got;
  while (got.size() < count) {
    int left = int(duration_cast<milliseconds>(deadline - steady_clock::now()).count());
    if (left <= 0) break;
    pollfd fd{pair_.MasterFd(), POLLIN, 0};
    if (::poll(&fd, 1, left) <= 0) break;
    char buf[256];
    ssize_t n = ::read(pair_.MasterFd(), buf, std::min(sizeof buf, count - got.size()));
    if (n <= 0) break;
    got.append(buf, size_t(n));
  }
  return got;
}

void PortDir::Write(std::string_view contents) {
  contents_ = std::string(contents);
  QFile file(dir_.filePath(QString::fromLatin1(PortNames::kFileName)));
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    file.write(contents_.data(), qint64(contents_.size()));
  file.close();
  names_.Load(Path());
}

void PortDir::Map(int n, const std::string& path) {
  Write(contents_ + "COM" + std::to_string(n) + "=" + path + "\r\n");
}

}  // namespace quell::test
