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
#include "core/shared_list.h"
#include "core/trace_view.h"

namespace quell {

// Marks a notice that goes to the Wardex client but not to the key
// translation (texts that arrived from the network).
inline constexpr char kUntranslatedMark = '\x01';
inline std::string UntranslatedNotice(const std::string& text) {
  return kUntranslatedMark + text;
}

class NoticeDrain {
 public:
  static constexpr int kFirstCountdown = 60;
  static constexpr int kCountdown = 120;

  NoticeDrain(Clock& clock, TraceView& trace, SharedTextList& noticeQueue, ClientFeed& clients);

  // The timer handler.
  void Tick();

  // Receives every notice sent to the client (the key translation), except
  // the untranslated ones.
  void SetSentHook(std::function<void(const std::string&)> hook) { onSent_ = std::move(hook); }

  // Records the delivery of notices that belong to stored events.
  void SetDeliveryRecord(EventLog* log, DeliveryLedger* ledger) {
    log_ = log;
    ledger_ = ledger;
  }

  int Countdown() const { return countdown_; }

 private:
  Clock& clock_;
  TraceView& trace_;
  SharedTextList& notices_;
  ClientFeed& clients_;
  std::function<void(const std::string&)> onSent_;
  int countdown_ = kFirstCountdown;
  EventLog* log_ = nullptr;
  DeliveryLedger* ledger_ = nullptr;
};

}  // namespace quell
