#pragma once
// The other end of a loopback connection inside this process, found among
// the process's open descriptors: tests read its socket options without the
// object that owns it.
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QTcpSocket>
#include <cstdlib>
#include <optional>

namespace quell::test {

// TCP_NODELAY of the socket whose local port is the client's peer port and
// whose peer port is the client's local port; nothing when none is open.
inline std::optional<bool> ServerSideNoDelay(const QTcpSocket& client) {
  const auto port = [](const sockaddr_storage& a) {
    return a.ss_family == AF_INET    ? ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port)
           : a.ss_family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port)
                                     : 0;
  };
  std::optional<bool> found;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return found;
  while (dirent* e = readdir(dir)) {
    const int fd = std::atoi(e->d_name);
    if (fd <= 2 || fd == dirfd(dir)) continue;
    sockaddr_storage self{}, peer{};
    socklen_t n = sizeof self, m = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&self), &n) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &m) != 0)
      continue;
    if (port(self) != client.peerPort() || port(peer) != client.localPort()) continue;
    int on = 0;
    socklen_t size = sizeof on;
    if (getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &size) == 0) found = on != 0;
  }
  closedir(dir);
  return found;
}

}  // namespace quell::test
