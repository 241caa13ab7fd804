#pragma once
// A datagram socket bound to a path, standing in for systemd's notify socket.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

namespace quell::test {

// The bound descriptor, or -1 (the path too long, or the bind refused).
inline int BindNotifySocket(const std::string& path, int extraFlags = 0) {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | extraFlags, 0);
  if (fd < 0) return -1;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() < sizeof addr.sun_path) path.copy(addr.sun_path, path.size());
  if (path.size() >= sizeof addr.sun_path ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace quell::test
