#include "sim/link_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quell::sim {

bool LinkFile::Create(const std::string& linkPath, const std::string& target, std::string* error) {
  Remove();
  struct stat st {};
  if (::lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      *error = linkPath + ": exists and is not a symbolic link";
      return false;
    }
    ::unlink(linkPath.c_str());
  }
  if (::symlink(target.c_str(), linkPath.c_str()) != 0) {
    *error = linkPath + ": " + std::strerror(errno);
    return false;
  }
  path_ = linkPath;
  target_ = target;
  return true;
}

void LinkFile::Remove() {
  if (path_.empty()) return;
  char buf[4096];
  ssize_t n = ::readlink(path_.c_str(), buf, sizeof buf);
  if (n >= 0 && std::string(buf, size_t(n)) == target_) ::unlink(path_.c_str());
  path_.clear();
  target_.clear();
}

}  // namespace quell::sim
