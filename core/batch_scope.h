#pragma once
// What one piece of event-loop work hands on (a batch of datagrams read, a
// batch of commits completed) leaves together: while a scope of a kind is
// open on a thread, a member of that kind queues and joins it, and the
// outermost scope of that kind flushes every member that joined when it
// closes. One thread's scopes never see another thread's, nor one kind's
// another's.
#include <algorithm>
#include <vector>

namespace quell {

template <class Kind>
class BatchScope {
 public:
  // A member that queues while a scope is open.
  class Member {
   public:
    virtual void FlushBatch() = 0;

   protected:
    ~Member() = default;
  };

  BatchScope() { ++depth_; }
  ~BatchScope() {
    if (--depth_ > 0) return;
    // A flush may queue nothing more (the scope is closed), so one pass does.
    std::vector<Member*> members;
    members.swap(joined_);
    for (Member* m : members) m->FlushBatch();
  }
  BatchScope(const BatchScope&) = delete;
  BatchScope& operator=(const BatchScope&) = delete;

  static bool Open() { return depth_ > 0; }
  // Flushed once when the outermost scope closes.
  static void Join(Member* member) {
    if (std::find(joined_.begin(), joined_.end(), member) == joined_.end())
      joined_.push_back(member);
  }
  // A member that goes away before the scope closes.
  static void Leave(Member* member) {
    joined_.erase(std::remove(joined_.begin(), joined_.end(), member), joined_.end());
  }

 private:
  static inline thread_local int depth_ = 0;
  static inline thread_local std::vector<Member*> joined_;
};

// Replies: a writer's replies made in the scope leave in one system call.
using SendBatch = BatchScope<struct SendKind>;
// Rows handed to a store: its thread is woken once, when the scope closes,
// so the rows of one read share a commit.
using WakeBatch = BatchScope<struct WakeKind>;

}  // namespace quell
