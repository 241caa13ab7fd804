#include "ip/notice_drain.h"

#include "core/wire.h"

namespace quell {

NoticeDrain::NoticeDrain(Clock& clock, TraceView& trace, Journal& journal, NoticeList& noticeQueue,
                         ClientFeed& clients)
    : clock_(clock), trace_(trace), journal_(journal), notices_(noticeQueue), clients_(clients) {}

void NoticeDrain::Tick() {
  // Counts 60 down to -1, then restarts at 120: the first heartbeat falls on
  // the 62nd tick and the next ones 122 ticks apart.
  bool heartbeatTick = false;
  if (countdown_ < 0) {
    countdown_ = kCountdown;
    heartbeatTick = true;
    if (clients_.WardexClientCount() > 0 && notices_.Empty())
      notices_.Append(NoticeOrigin::Heartbeat, kClientHeartbeat);
  } else {
    --countdown_;
  }
  ReportDroppedRelays();

  if (clients_.WardexClientCount() <= 0) return;
  std::optional<Notice> notice = notices_.TakeFirst();
  if (!notice) return;
  if (!clients_.SendToFirstWardex(notice->origin, notice->text)) {
    // Every client was let go during the send: the notice waits for the
    // next one, and is translated only once it has really gone out.
    notices_.PutHead(std::move(*notice));
    return;
  }
  if (ledger_) {
    const RowKey key = ledger_->Take(notice->text);
    if (log_ && key) log_->SetFate(key, EventTarget::Notice, EventFate::Delivered);
  }
  if (IsCallerIdResult(notice->origin) && onResult_) onResult_(notice->text);
  if (notice->origin == NoticeOrigin::CallerIdRing && onRing_) onRing_(notice->text);
  if (!heartbeatTick) trace_.Append(LongTime(clock_.Now()) + kTAB + notice->text);
}

// The first drop is journalled on the next tick, later ones at most once a
// minute, each line with the number dropped since the last.
void NoticeDrain::ReportDroppedRelays() {
  if (dropReportWait_ > 0) {
    --dropReportWait_;
    return;
  }
  const size_t dropped = notices_.TakeDroppedCount();
  if (dropped == 0) return;
  journal_.InsertTop("Relay: " + std::to_string(dropped) + " texts dropped, " +
                     std::to_string(NoticeList::kMaxRelayTexts) + " already waiting");
  dropReportWait_ = kDropReportTicks - 1;
}

}  // namespace quell
