#include "sim/serial_endpoint.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quell::sim {
namespace {

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Raw 9600 8N1, no flow control, reads that never block.
bool MakeRaw(int fd, std::string* error) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) {
    *error = ErrnoText("not a serial device");
    return false;
  }
  ::cfmakeraw(&t);
  t.c_cflag &= ~tcflag_t(CRTSCTS | CSTOPB | PARENB | CSIZE);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  ::cfsetispeed(&t, B9600);
  ::cfsetospeed(&t, B9600);
  if (::tcsetattr(fd, TCSANOW, &t) != 0) {
    *error = ErrnoText("tcsetattr");
    return false;
  }
  return true;
}

}  // namespace

SerialEndpoint::~SerialEndpoint() {
  Close();
}

bool SerialEndpoint::OpenPty(std::string* error) {
  Close();
  if (!pty_.Open(error)) return false;
  // Open and close the slave once: from then on the master reports a
  // hang-up while no peer has the slave open, which is how peers are told.
  int probe = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (probe >= 0) ::close(probe);
  fd_ = pty_.MasterFd();
  isPty_ = true;
  path_ = pty_.SlavePath();
  Watch();
  Service();
  return true;
}

bool SerialEndpoint::OpenDevice(const std::string& path, std::string* error) {
  Close();
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = ErrnoText(path);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = path + ": device in use";
    ::close(fd);
    return false;
  }
  ::ioctl(fd, TIOCEXCL);
  if (!MakeRaw(fd, error)) {
    *error = path + ": " + *error;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  peer_ = true;
  Watch();
  return true;
}

void SerialEndpoint::Close() {
  notifier_.reset();
  if (!isPty_ && fd_ >= 0) ::close(fd_);
  pty_.Close();
  fd_ = -1;
  isPty_ = false;
  peer_ = false;
  path_.clear();
  pending_.clear();
}

bool SerialEndpoint::PeerPresent() const {
  if (fd_ < 0) return false;
  if (!isPty_) return peer_;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) == 0;
}

bool SerialEndpoint::Send(std::string_view bytes) {
  if (!PeerPresent()) return false;
  if (pending_.size() + bytes.size() > kMaxPending) return false;
  pending_.append(bytes);
  Flush();
  return true;
}

void SerialEndpoint::Service() {
  if (fd_ < 0) return;
  if (isPty_ && !peer_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0) return;
    if ((p.revents & POLLHUP) == 0) {
      peer_ = true;
      notifier_->setEnabled(true);
    } else if (p.revents & POLLIN) {
      OnReadable();  // a peer came and went between two calls: take what it sent
    }
  }
  Flush();
}

void SerialEndpoint::Watch() {
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  notifier_->setEnabled(peer_);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { OnReadable(); });
}

void SerialEndpoint::OnReadable() {
  char buf[4096];
  for (int round = 0; round < 16 && fd_ >= 0; ++round) {
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
      if (receiver_) receiver_(std::string_view(buf, size_t(n)));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    // A terminal device read raw with VMIN and VTIME 0 gives 0 bytes when
    // nothing waits: that is no end of file (a device that goes away gives EIO).
    if (n == 0 && !isPty_) return;
    if (isPty_) return PeerGone();  // EIO (or end of file): the slave was closed
    return Fail(n == 0 ? path_ + ": end of file" : ErrnoText(path_));
  }
}

void SerialEndpoint::PeerGone() {
  peer_ = false;
  notifier_->setEnabled(false);
  pending_.clear();
  ::tcflush(fd_, TCIOFLUSH);  // nothing unread waits for the next peer
  // A peer's exclusive mode (TIOCEXCL) outlives its close and would make its
  // next open fail without privileges; clear it where this process may.
  int slave = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave >= 0) {
    ::ioctl(slave, TIOCNXCL);
    ::close(slave);
  }
}

void SerialEndpoint::Fail(const std::string& reason) {
  notifier_->setEnabled(false);
  peer_ = false;
  pending_.clear();
  if (onFailure_) onFailure_(reason);
}

void SerialEndpoint::Flush() {
  while (!pending_.empty() && fd_ >= 0) {
    ssize_t n = ::write(fd_, pending_.data(), pending_.size());
    if (n > 0) {
      pending_.erase(0, size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (isPty_) return PeerGone();
    return Fail(ErrnoText(path_));
  }
}

}  // namespace quell::sim
