#pragma once
// A pseudo-terminal pair: the master end stays with its owner, the slave
// end is a device path that a serial client (or a line of this gateway)
// opens like a serial port. Move-only; the destructor closes the master,
// which hangs up the slave.
#include <string>

namespace quell {

class PtyPair {
 public:
  PtyPair() = default;
  ~PtyPair();
  PtyPair(PtyPair&& other) noexcept;
  PtyPair& operator=(PtyPair&& other) noexcept;
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // Creates the pair: a non-blocking, close-on-exec master in raw mode and
  // an unlocked slave. False with the reason in *error on failure.
  bool Open(std::string* error = nullptr);
  void Close();

  bool IsOpen() const { return master_ >= 0; }
  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace quell
