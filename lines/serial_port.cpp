#include "lines/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "lines/line.h"

namespace quell {
namespace {

void SetError(std::string* error, const std::string& what) {
  if (error) *error = what;
}

std::string ErrnoText(const char* call) {
  return std::string(call) + ": " + std::strerror(errno);
}

}  // namespace

unsigned BaudConstant(uint32_t baudRate) {
  struct Rate {
    uint32_t rate;
    speed_t constant;
  };
  static constexpr Rate kRates[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000}};
  for (const Rate& r : kRates)
    if (r.rate == baudRate) return r.constant;
  return 0;
}

PosixSerialPort::PosixSerialPort(int fd, int wakeFd, std::string path)
    : path_(std::move(path)), fd_(fd), wakeFd_(wakeFd) {}

PosixSerialPort::~PosixSerialPort() {
  Close();
}

std::shared_ptr<PosixSerialPort> PosixSerialPort::Open(const std::string& devicePath,
                                                       std::string* error) {
  // Non-blocking so that neither the open (no carrier) nor a write to a full
  // output queue can hang; reads and writes wait through poll() instead.
  int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetError(error, ErrnoText("open"));
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    SetError(error, errno == EWOULDBLOCK ? std::string("device in use") : ErrnoText("flock"));
    ::close(fd);
    return nullptr;
  }
  ::ioctl(fd, TIOCEXCL);  // not every device is a tty; Apply() tells
  int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    SetError(error, ErrnoText("eventfd"));
    ::close(fd);
    return nullptr;
  }
  return std::shared_ptr<PosixSerialPort>(new PosixSerialPort(fd, wakeFd, devicePath));
}

bool SetTermios(const TPortConfig& config, termios& t, std::string* error) {
  speed_t speed = BaudConstant(config.BaudRate);
  if (speed == 0) {
    SetError(error, "unsupported baud rate " + std::to_string(config.BaudRate));
    return false;
  }
  tcflag_t size = 0;
  switch (config.ByteSize) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      SetError(error, "unsupported data bits " + std::to_string(config.ByteSize));
      return false;
  }
  if (config.StopBits > 2) {
    SetError(error, "unsupported stop bits code " + std::to_string(config.StopBits));
    return false;
  }
  tcflag_t parity = 0;
  switch (config.Parity) {
    case 0:
      parity = 0;
      break;
    case 1:
      parity = PARENB | PARODD;
      break;
    case 2:
      parity = PARENB;
      break;
    case 3:
      parity = PARENB | PARODD | CMSPAR;
      break;  // mark
    case 4:
      parity = PARENB | CMSPAR;
      break;  // space
    default:
      SetError(error, "unsupported parity code " + std::to_string(config.Parity));
      return false;
  }
  ::cfmakeraw(&t);
  t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK);
  if (config.fParity) t.c_iflag |= INPCK;
  t.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD | size | parity | (config.StopBits != 0 ? CSTOPB : 0);
  // One-byte reads return at the first byte or after 600 ms.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = PosixSerialPort::kReadTimeoutMs / 100;
  ::cfsetispeed(&t, speed);
  ::cfsetospeed(&t, speed);
  return true;
}

bool PosixSerialPort::Apply(const TPortConfig& config, std::string* error) {
  std::shared_lock io(io_);
  if (fd_ < 0) {
    SetError(error, "port closed");
    return false;
  }
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) {
    SetError(error, ErrnoText("tcgetattr"));
    return false;
  }
  if (!SetTermios(config, t, error)) return false;
  // Like the Windows driver call, success means the driver took the
  // settings; a pty keeps only the speed and forces 8 bits without parity.
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
    SetError(error, ErrnoText("tcsetattr"));
    return false;
  }
  return true;
}

void PosixSerialPort::RaiseModemLines() {
  std::shared_lock io(io_);
  if (fd_ < 0) return;
  int bits = TIOCM_RTS | TIOCM_DTR;
  ::ioctl(fd_, TIOCMBIS, &bits);
}

PortWait PosixSerialPort::PollDevice(short events, int timeoutMs) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    pollfd fds[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
    int left = int(duration_cast<milliseconds>(deadline - steady_clock::now()).count());
    int n = ::poll(fds, 2, std::max(left, 0));
    if (n < 0) {
      if (errno == EINTR) continue;
      return PortWait::Failed;
    }
    if (fds[1].revents != 0 || closing_.load()) return PortWait::Interrupted;
    const short revents = fds[0].revents;
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
      // A hung-up tty also reports readable; only bytes still queued count.
      int queued = 0;
      if ((revents & events) && ::ioctl(fd_, FIONREAD, &queued) == 0 && queued > 0)
        return PortWait::Data;
      hungUp_ = true;
      return PortWait::Failed;
    }
    if (revents & events) return PortWait::Data;
    if (n == 0) return PortWait::Timeout;
  }
}

int PosixSerialPort::ReadByte(uint8_t& byte) {
  if (closing_.load()) return -1;
  std::shared_lock io(io_);
  if (fd_ < 0) return -1;
  switch (PollDevice(POLLIN, kReadTimeoutMs)) {
    case PortWait::Data:
      break;
    case PortWait::Timeout:
    case PortWait::Interrupted:
      return 0;
    case PortWait::Failed:
      return -1;
  }
  for (;;) {
    ssize_t n = ::read(fd_, &byte, 1);
    if (n == 1) return 1;
    if (n == 0 || errno == EIO) {  // end of file or I/O error: the device went away
      hungUp_ = true;
      return -1;
    }
    if (errno == EINTR) continue;
    return errno == EAGAIN ? 0 : -1;
  }
}

int PosixSerialPort::InputQueueCount() {
  if (closing_.load()) return -1;
  std::shared_lock io(io_);
  int count = 0;
  if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &count) != 0) return -1;
  return count;
}

PortWait PosixSerialPort::WaitForEvent(int timeoutMs) {
  if (closing_.load()) return PortWait::Failed;
  std::shared_lock io(io_);
  if (fd_ < 0) return PortWait::Failed;
  return PollDevice(POLLIN, timeoutMs);
}

int PosixSerialPort::Write(std::string_view bytes) {
  using namespace std::chrono;
  if (closing_.load()) return 0;
  std::lock_guard serial(writeLock_);
  std::shared_lock io(io_);
  if (fd_ < 0) return 0;
  const auto deadline = steady_clock::now() + milliseconds(kWriteTimeoutMs);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EIO) hungUp_ = true;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    // Output queue full: wait for room in short slices so Close() is not
    // held up, and give up at the deadline.
    int left = int(duration_cast<milliseconds>(deadline - steady_clock::now()).count());
    if (left <= 0 || closing_.load()) break;
    pollfd fd{fd_, POLLOUT, 0};
    if (::poll(&fd, 1, std::min(left, 50)) < 0 && errno != EINTR) break;
    if (fd.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      hungUp_ = true;
      break;
    }
  }
  return int(done);
}

void PosixSerialPort::Interrupt() {
  std::shared_lock io(io_);
  if (wakeFd_ < 0) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void PosixSerialPort::ClearInterrupt() {
  if (closing_.load()) return;  // a closing port stays interrupted
  std::shared_lock io(io_);
  if (wakeFd_ < 0) return;
  uint64_t value = 0;
  [[maybe_unused]] ssize_t n = ::read(wakeFd_, &value, sizeof value);
}

void PosixSerialPort::Close() {
  if (closing_.exchange(true)) {
    // Another Close() is under way or done; wait until the fds are gone.
    std::unique_lock io(io_);
    return;
  }
  Interrupt();  // releases a reader blocked in poll()
  std::unique_lock io(io_);
  if (fd_ >= 0) {
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // also drops the advisory lock
    fd_ = -1;
  }
  if (wakeFd_ >= 0) {
    ::close(wakeFd_);
    wakeFd_ = -1;
  }
}

bool PosixSerialPort::IsOpen() const {
  if (closing_.load()) return false;
  std::shared_lock io(io_);
  return fd_ >= 0;
}

}  // namespace quell
