#pragma once
// The 500 ms drain of NoticeQueue: one entry per tick goes to the first
// Wardex client, and an idle queue gets the client heartbeat "~HB" about
// once a minute while a client is connected.
#include <functional>
#include <string>

#include "core/client_feed.h"
#include "core/clock.h"
#include "core/delivery_ledger.h"
#include "core/event_log.h"
#include "core/journal.h"
#include "core/notice_list.h"
#include "core/trace_view.h"

namespace quell {

class NoticeDrain {
 public:
  static constexpr int kFirstCountdown = 60;
  static constexpr int kCountdown = 120;
  // Ticks between two journal lines about dropped relay texts (a minute).
  static constexpr int kDropReportTicks = 120;

  using Hook = std::function<void(const std::string& notice)>;

  NoticeDrain(Clock& clock, TraceView& trace, Journal& journal, NoticeList& noticeQueue,
              ClientFeed& clients);

  // The timer handler.
  void Tick();

  // Receives each caller-ID result once a client has taken it (the key
  // translation); no other notice ever reaches it.
  void SetResultHook(Hook hook) { onResult_ = std::move(hook); }
  // Receives each caller-ID ring notice once a client has taken it (the
  // loopback client decides whether it was the one).
  void SetRingHook(Hook hook) { onRing_ = std::move(hook); }

  // Records the delivery of notices that belong to stored events.
  void SetDeliveryRecord(EventLog* log, DeliveryLedger* ledger) {
    log_ = log;
    ledger_ = ledger;
  }

  int Countdown() const { return countdown_; }

 private:
  void ReportDroppedRelays();

  Clock& clock_;
  TraceView& trace_;
  Journal& journal_;
  NoticeList& notices_;
  ClientFeed& clients_;
  Hook onResult_;
  Hook onRing_;
  int countdown_ = kFirstCountdown;
  int dropReportWait_ = 0;
  EventLog* log_ = nullptr;
  DeliveryLedger* ledger_ = nullptr;
};

}  // namespace quell
