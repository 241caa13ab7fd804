#pragma once
// The built gateway as a child process in a scratch copy of the sample
// working directory, headless, and loopback TCP helpers to talk to it.
#include <sys/types.h>
#include <chrono>
#include <filesystem>
#include <string>

namespace quell::test {

using Deadline = std::chrono::steady_clock::time_point;

inline Deadline In(std::chrono::milliseconds wait) {
  return std::chrono::steady_clock::now() + wait;
}
// Milliseconds left until deadline, at least 0.
int MsLeft(Deadline deadline);

// A non-blocking TCP socket connecting to 127.0.0.1:port, or -1.
int ConnectLoopback(int port);
// True when a connection to 127.0.0.1:port is accepted before the deadline.
bool Listens(int port, Deadline deadline);
// True when something accepts on 127.0.0.1:port and sends greetingSize
// bytes before the deadline.
bool Greets(int port, size_t greetingSize, Deadline deadline);

class GatewayProcess {
 public:
  GatewayProcess();   // makes the working directory
  ~GatewayProcess();  // kills a gateway still running, removes the directory
  GatewayProcess(const GatewayProcess&) = delete;
  GatewayProcess& operator=(const GatewayProcess&) = delete;

  const std::filesystem::path& workDir() const { return workDir_; }
  // Starts the gateway; its standard output and error go to a file.
  bool Start();
  bool Running();
  // SIGTERM, then waits for the exit; true with exit status 0.
  bool Stop(Deadline deadline, std::string* how);
  // What the gateway printed so far.
  std::string Output() const;

 private:
  std::filesystem::path workDir_;
  pid_t pid_ = -1;
};

}  // namespace quell::test
