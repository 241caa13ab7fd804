#pragma once
// The key of a stored row: (node, run, seq). A gateway's own file has no
// node and no run (empty, 0), so its rows are keyed by seq alone; a shared
// history on a server keys each node's rows by the run drawn at its start
// and the sequence within that run.
//
// Node names are interned: one copy per name for the process, so a key is
// copied without allocating and compared by address on the hot path.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quell {

class NodeName {
 public:
  NodeName() = default;  // no node: a gateway's own file
  // The interned name (empty: no node). Any thread; takes a lock.
  static NodeName Of(std::string_view name);

  const std::string& str() const;
  bool empty() const { return name_ == nullptr; }
  friend bool operator==(NodeName a, NodeName b) { return a.name_ == b.name_; }
  size_t Hash() const { return std::hash<const void*>()(name_); }

 private:
  explicit NodeName(const std::string* name) : name_(name) {}
  const std::string* name_ = nullptr;
};

struct RowKey {
  NodeName node;
  int64_t run = 0;
  int64_t seq = 0;  // 0: no row

  // A row was stored under this key (producers without a store have none).
  explicit operator bool() const { return seq > 0; }
  // The key of the row i places further in the same group (none stays none).
  RowKey Plus(int64_t i) const { return seq > 0 ? RowKey{node, run, seq + i} : RowKey{}; }
  bool operator==(const RowKey&) const = default;
};

struct RowKeyHash {
  size_t operator()(const RowKey& k) const {
    size_t h = k.node.Hash();
    h ^= std::hash<int64_t>()(k.run) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    h ^= std::hash<int64_t>()(k.seq) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
  }
};

}  // namespace quell
