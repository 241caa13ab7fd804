#include "lines/pty_pair.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace quell {

PtyPair::~PtyPair() {
  Close();
}

PtyPair::PtyPair(PtyPair&& other) noexcept
    : master_(std::exchange(other.master_, -1)), slavePath_(std::move(other.slavePath_)) {}

PtyPair& PtyPair::operator=(PtyPair&& other) noexcept {
  if (this != &other) {
    Close();
    master_ = std::exchange(other.master_, -1);
    slavePath_ = std::move(other.slavePath_);
  }
  return *this;
}

bool PtyPair::Open(std::string* error) {
  Close();
  auto fail = [&](const char* call) {
    if (error) *error = std::string(call) + ": " + std::strerror(errno);
    Close();
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (::grantpt(master_) != 0) return fail("grantpt");
  if (::unlockpt(master_) != 0) return fail("unlockpt");
  char name[128] = {};
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  slavePath_ = name;
  // The slave starts in cooked mode with echo; make it raw until its user
  // applies its own settings, so nothing is echoed or translated.
  termios t{};
  if (::tcgetattr(master_, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(master_, TCSANOW, &t);
  }
  int flags = ::fcntl(master_, F_GETFL);
  if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
  return true;
}

void PtyPair::Close() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
  slavePath_.clear();
}

}  // namespace quell
