#include "ip/notice_drain.h"

#include "core/wire.h"

namespace quell {

NoticeDrain::NoticeDrain(Clock& clock, TraceView& trace, SharedTextList& noticeQueue,
                         ClientFeed& clients)
    : clock_(clock), trace_(trace), notices_(noticeQueue), clients_(clients) {}

void NoticeDrain::Tick() {
  // Counts 60 down to -1, then restarts at 120: the first heartbeat falls on
  // the 62nd tick and the next ones 122 ticks apart.
  bool heartbeatTick = false;
  if (countdown_ < 0) {
    countdown_ = kCountdown;
    heartbeatTick = true;
    if (clients_.WardexClientCount() > 0 && notices_.Empty()) notices_.Append(kClientHeartbeat);
  } else {
    --countdown_;
  }

  if (clients_.WardexClientCount() <= 0) return;
  std::optional<std::string> notice = notices_.TakeFirst();
  if (!notice) return;
  const bool translate = notice->empty() || notice->front() != kUntranslatedMark;
  if (ledger_) {
    const int64_t seq = ledger_->Take(*notice);
    if (log_ && seq > 0) log_->SetFate(seq, EventTarget::Notice, EventFate::Delivered);
  }
  if (!translate) notice->erase(0, 1);
  clients_.SendToFirstWardex(*notice);
  if (onSent_ && translate) onSent_(*notice);
  if (!heartbeatTick) trace_.Append(LongTime(clock_.Now()) + kTAB + *notice);
}

}  // namespace quell
