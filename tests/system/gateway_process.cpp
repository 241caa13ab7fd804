#include "tests/system/gateway_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace quell::test {

namespace fs = std::filesystem;

int MsLeft(Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return int(std::max<long long>(0, left.count()));
}

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool Listens(int port, Deadline deadline) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return false;
  pollfd p{fd, POLLOUT, 0};
  int error = -1;
  socklen_t size = sizeof error;
  if (::poll(&p, 1, MsLeft(deadline)) == 1) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
  ::close(fd);
  return error == 0;
}

bool Greets(int port, size_t greetingSize, Deadline deadline) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return false;
  size_t got = 0;
  while (got < greetingSize) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, MsLeft(deadline)) <= 0) break;
    char buffer[64];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;  // refused, reset or closed
    got += size_t(n);
  }
  ::close(fd);
  return got >= greetingSize;
}

GatewayProcess::GatewayProcess() {
  std::string pattern = (fs::temp_directory_path() / "quell-system-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  workDir_ = pattern;
  fs::copy(QUELL_SAMPLE_WORKDIR, workDir_, fs::copy_options::recursive);
  fs::remove(workDir_ / "ConnectionType.ini");  // no serial lines
  // A private place for the one-copy-per-session lock, so that a gateway
  // running elsewhere on the machine does not turn this one away.
  fs::create_directory(workDir_ / "run");
  fs::permissions(workDir_ / "run", fs::perms::owner_all);
}

GatewayProcess::~GatewayProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  fs::remove_all(workDir_, ignored);
}

bool GatewayProcess::Start() {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" &&
        name != "XDG_RUNTIME_DIR")
      env.push_back(entry);
  }
  env.push_back("QT_QPA_PLATFORM=offscreen");
  env.push_back("XDG_RUNTIME_DIR=" + (workDir_ / "run").string());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string exe = QUELL_SERVER_PATH;
  char* argv[] = {exe.data(), nullptr};
  const std::string dir = workDir_.string();
  const std::string out = (workDir_ / "output.txt").string();

  const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (outFd < 0) return false;
  pid_ = ::fork();
  if (pid_ == 0) {
    if (::chdir(dir.c_str()) == 0 && ::dup2(outFd, 1) >= 0 && ::dup2(outFd, 2) >= 0)
      ::execve(argv[0], argv, envp.data());
    ::_exit(127);
  }
  ::close(outFd);
  return pid_ > 0;
}

bool GatewayProcess::Running() {
  if (pid_ <= 0) return false;
  if (::waitpid(pid_, nullptr, WNOHANG) == 0) return true;
  pid_ = -1;
  return false;
}

bool GatewayProcess::Stop(Deadline deadline, std::string* how) {
  if (pid_ <= 0 || ::kill(pid_, SIGTERM) != 0) {
    *how = "not running";
    return false;
  }
  int status = 0;
  pid_t done = 0;
  while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && MsLeft(deadline) > 0)
    ::poll(nullptr, 0, 20);
  if (done != pid_) {
    *how = "still running";
    return false;
  }
  pid_ = -1;
  if (WIFSIGNALED(status)) {
    *how = "ended by signal " + std::to_string(WTERMSIG(status));
    return false;
  }
  *how = "exit status " + std::to_string(WEXITSTATUS(status));
  return WEXITSTATUS(status) == 0;
}

std::string GatewayProcess::Output() const {
  std::ifstream file(workDir_ / "output.txt");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace quell::test
