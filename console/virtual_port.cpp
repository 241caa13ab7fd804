#include "console/virtual_port.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "core/text.h"

namespace quell {
namespace {

// Opens one pseudo-terminal pair with both sides raw. Returns false on failure.
bool OpenPty(int& master, int& slave, std::string& slavePath) {
  master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return false;
  if (grantpt(master) != 0 || unlockpt(master) != 0) return false;
  char name[128] = {};
  if (ptsname_r(master, name, sizeof name) != 0) return false;
  slavePath = name;
  slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) return false;
  termios tio{};
  if (tcgetattr(slave, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return true;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Writes everything, waiting briefly when the other side's buffer is full.
void WriteAll(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size_t(size));
    if (n > 0) {
      data += n;
      size -= n;
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 100) <= 0) return;  // peer stalled: drop the rest
    } else {
      return;
    }
  }
}

}  // namespace

VirtualPort::~VirtualPort() {
  StopEmulation();
  Release();
}

bool VirtualPort::Initialize() {
  return true;
}

bool VirtualPort::DestroyAllDevices() {
  StopEmulation();
  CloseAll();
  return true;
}

bool VirtualPort::StopEmulation() {
  if (relay_.joinable()) {
    running_ = false;
    char byte = 1;
    if (wake_[1] >= 0) {
      ssize_t r = ::write(wake_[1], &byte, 1);
      (void)r;
    }
    relay_.join();
  }
  std::error_code ec;
  if (number_ >= 0) std::filesystem::remove(LinkPath(), ec);
  return true;
}

int VirtualPort::CreateDevice(const std::string& type, const std::string& portText) {
  auto number = ToInt(FieldAt(portText, 1, ";"));
  if (type != "Connector" || !number || *number < 1) return -1;
  CloseAll();
  if (!OpenPty(masters_[0], slaves_[0], gatewayPath_) ||
      !OpenPty(masters_[1], slaves_[1], consolePath_) || ::pipe2(wake_, O_CLOEXEC) != 0) {
    CloseAll();
    return -1;
  }
  number_ = *number;
  return number_;
}

bool VirtualPort::StartEmulation() {
  if (number_ < 0 || masters_[0] < 0) return false;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(workDir_) / "vcom", ec);
  std::filesystem::remove(LinkPath(), ec);
  std::filesystem::create_symlink(consolePath_, LinkPath(), ec);
  if (ec) return false;
  running_ = true;
  relay_ = std::thread([this] { Relay(); });
  return true;
}

void VirtualPort::Release() {
  if (relay_.joinable()) StopEmulation();
  CloseAll();
}

std::string VirtualPort::LinkPath() const {
  return (std::filesystem::path(workDir_) / "vcom" / ("COM" + std::to_string(number_))).string();
}

void VirtualPort::CloseAll() {
  for (int i = 0; i < 2; ++i) {
    CloseFd(masters_[i]);
    CloseFd(slaves_[i]);
    CloseFd(wake_[i]);
  }
  number_ = -1;
  gatewayPath_.clear();
  consolePath_.clear();
}

// Copies bytes between the two master sides until stopped.
void VirtualPort::Relay() {
  char buffer[512];
  while (running_) {
    pollfd fds[3] = {{masters_[0], POLLIN, 0}, {masters_[1], POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 3, 500) < 0 && errno != EINTR) break;
    if (fds[2].revents) break;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      ssize_t n = ::read(masters_[i], buffer, sizeof buffer);
      if (n > 0) WriteAll(masters_[1 - i], buffer, n);
    }
  }
}

}  // namespace quell
