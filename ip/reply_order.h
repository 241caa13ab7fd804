#pragma once
// Keeps the replies to one sender in the order its messages arrived while
// some of them wait for the event store: a reply that needs no commit (a
// NACK, a keep-alive's CR) still leaves after an ACK that waits before it.
#include <cstdint>
#include <deque>
#include <functional>

namespace quell {

class ReplyOrder {
 public:
  // Sends one reply; stored says whether its event reached the store.
  using Send = std::function<void(bool stored)>;

  // A reply that can leave as soon as every earlier one has.
  void AddReady(Send send);
  // A reply that waits for Release(ticket, stored).
  uint64_t AddWaiting(Send send);
  // Marks the reply ready and sends every reply now at the front.
  void Release(uint64_t ticket, bool stored);
  bool Empty() const { return steps_.empty(); }

 private:
  struct Step {
    uint64_t ticket;
    Send send;
    bool ready;
    bool stored;
  };
  void SendReady();

  std::deque<Step> steps_;
  uint64_t next_ = 1;
  bool sending_ = false;
};

}  // namespace quell
