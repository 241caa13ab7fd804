#include "core/row_key.h"

#include <mutex>
#include <unordered_set>

namespace quell {
namespace {

// Names live as long as the process: a handful of nodes at most. The set's
// elements never move, so the addresses handed out stay valid.
struct Pool {
  std::mutex lock;
  std::unordered_set<std::string> names;
};

Pool& ThePool() {
  static Pool* pool = new Pool;  // never destroyed: keys may outlive statics
  return *pool;
}

const std::string kNoNode;

}  // namespace

NodeName NodeName::Of(std::string_view name) {
  if (name.empty()) return NodeName();
  Pool& pool = ThePool();
  std::lock_guard g(pool.lock);
  return NodeName(&*pool.names.emplace(name).first);
}

const std::string& NodeName::str() const {
  return name_ ? *name_ : kNoNode;
}

}  // namespace quell
