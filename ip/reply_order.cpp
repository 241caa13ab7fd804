#include "ip/reply_order.h"

namespace quell {

void ReplyOrder::AddReady(Send send) {
  steps_.push_back(Step{next_++, std::move(send), true, true});
  SendReady();
}

uint64_t ReplyOrder::AddWaiting(Send send) {
  steps_.push_back(Step{next_, std::move(send), false, false});
  return next_++;
}

void ReplyOrder::Release(uint64_t ticket, bool stored) {
  for (Step& s : steps_) {
    if (s.ticket != ticket) continue;
    s.ready = true;
    s.stored = stored;
    break;
  }
  SendReady();
}

void ReplyOrder::SendReady() {
  // A send may add or release replies (a reply that closes the connection);
  // the outer call keeps going.
  if (sending_) return;
  sending_ = true;
  while (!steps_.empty() && steps_.front().ready) {
    Step s = std::move(steps_.front());
    steps_.pop_front();
    s.send(s.stored);
  }
  sending_ = false;
}

}  // namespace quell
