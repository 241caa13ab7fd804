#pragma once
// Replies made during one piece of event-loop work (a batch of datagrams
// read, a batch of commits completed) leave together: while a batch is
// open a writer queues them and joins the batch, and the outermost batch
// flushes every writer that joined when it closes. One thread's batches
// never see another thread's.
#include <vector>

namespace quell {

class SendBatch {
 public:
  // A writer that queues while a batch is open.
  class Member {
   public:
    virtual void FlushBatch() = 0;

   protected:
    ~Member() = default;
  };

  SendBatch() { ++depth_; }
  ~SendBatch();
  SendBatch(const SendBatch&) = delete;
  SendBatch& operator=(const SendBatch&) = delete;

  static bool Open() { return depth_ > 0; }
  // Flushed once when the outermost batch closes.
  static void Join(Member* member);
  // A member that goes away before the batch closes.
  static void Leave(Member* member);

 private:
  static thread_local int depth_;
  static thread_local std::vector<Member*> joined_;
};

}  // namespace quell
