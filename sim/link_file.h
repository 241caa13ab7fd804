#pragma once
// A symbolic link naming a device (a pty slave changes with every start),
// so a station's configuration can name one stable path. An existing link
// at that path is replaced; any other file there is left alone. The link
// goes when this object does, unless something else has replaced it.
#include <string>

namespace quell::sim {

class LinkFile {
 public:
  LinkFile() = default;
  ~LinkFile() { Remove(); }
  LinkFile(const LinkFile&) = delete;
  LinkFile& operator=(const LinkFile&) = delete;

  bool Create(const std::string& linkPath, const std::string& target, std::string* error);
  void Remove();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string target_;
};

}  // namespace quell::sim
