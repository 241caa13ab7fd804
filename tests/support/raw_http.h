#pragma once
// A plain socket client for the monitoring server's tests: connects to the
// loopback address of either family, sends bytes as they are (also ones no
// HTTP client would send) and reads until the server closes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace quell::test {

// A connected socket to 127.0.0.1 (AF_INET) or ::1 (AF_INET6), or -1.
inline int ConnectLoopback(int family, int port) {
  const int fd = ::socket(family, SOCK_STREAM, 0);
  sockaddr_storage address{};
  socklen_t length = 0;
  if (family == AF_INET6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&address);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(uint16_t(port));
    a->sin6_addr = in6addr_loopback;
    length = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&address);
    a->sin_family = AF_INET;
    a->sin_port = htons(uint16_t(port));
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *a;
  }
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  return fd;
}

// Everything the server sends until it closes, or until timeoutMs; closed
// tells whether it closed (a reset counts as closed).
inline std::string ReadAll(int fd, int timeoutMs, bool* closed = nullptr) {
  using Steady = std::chrono::steady_clock;
  std::string out;
  const auto end = Steady::now() + std::chrono::milliseconds(timeoutMs);
  if (closed) *closed = false;
  for (;;) {
    const int left =
        int(std::chrono::duration_cast<std::chrono::milliseconds>(end - Steady::now()).count());
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, left) <= 0) return out;
    char buffer[65536];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      if (closed) *closed = true;
      return out;
    }
    out.append(buffer, size_t(n));
  }
}

// One request on a connection of its own, and the whole answer.
inline std::string Exchange(int family, int port, const std::string& request,
                            int timeoutMs = 5000) {
  const int fd = ConnectLoopback(family, port);
  if (fd < 0) return "no connection";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  const std::string answer = ReadAll(fd, timeoutMs);
  ::close(fd);
  return answer;
}

inline std::string HttpGet(const std::string& path, const std::string& extra = "") {
  return "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + extra + "\r\n";
}

}  // namespace quell::test
