#include "core/send_batch.h"

#include <algorithm>

namespace quell {

thread_local int SendBatch::depth_ = 0;
thread_local std::vector<SendBatch::Member*> SendBatch::joined_;

SendBatch::~SendBatch() {
  if (--depth_ > 0) return;
  // A flush may queue nothing more (the batch is closed), so one pass does.
  std::vector<Member*> members;
  members.swap(joined_);
  for (Member* m : members) m->FlushBatch();
}

void SendBatch::Join(Member* member) {
  if (std::find(joined_.begin(), joined_.end(), member) == joined_.end()) joined_.push_back(member);
}

void SendBatch::Leave(Member* member) {
  joined_.erase(std::remove(joined_.begin(), joined_.end(), member), joined_.end());
}

}  // namespace quell
