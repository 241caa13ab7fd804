#include "console/console_output.h"

#include <exception>

#include "console/ademco685.h"
#include "core/wire.h"

namespace quell {

namespace {

// Ticks (seconds) of the link supervision.
constexpr int kCountdownAfterAnswer = 45;  // also after giving up on a silent console
constexpr int kCountdownAfterHeartbeat = 60;
constexpr int kMaxUnansweredHeartbeats = 2;  // the third unanswered one takes the link down
// Ticks an IP listener may stay silent before its connections are closed.
constexpr int kIdleLimit = 120;

std::string WithLF(const std::string& text) {
  return std::string(1, kLF) + text;
}

}  // namespace

ConsoleOutput::ConsoleOutput(SharedTextList& queue, ConsoleDevice& device, ClientFeed& clients,
                             TraceView& trace, const ConsoleSettings& console,
                             const IpModuleSettings& ip, const CodeTable& codes)
    : queue_(queue),
      device_(device),
      clients_(clients),
      trace_(trace),
      console_(console),
      ipSettings_(ip),
      codes_(codes) {}

void ConsoleOutput::Tick() {
  CloseIdleConnections();
  ShowStatus();
  --countdown_;
  if (ip_) ip_->LossCheck();

  if (acknowledged_.load() && awaiting_) {
    linkUp_ = true;
    countdown_ = kCountdownAfterAnswer;
    awaiting_ = false;
    attempts_ = 0;
  }
  if (attempts_ > kMaxUnansweredHeartbeats) {
    ++linkTestsFailed_;
    linkUp_ = false;
    countdown_ = kCountdownAfterAnswer;
    awaiting_ = false;
    attempts_ = 0;
  }
  if (countdown_ < 0 || awaiting_) SendHeartbeat();

  if (linkUp_) DeliverOne();
}

void ConsoleOutput::CloseIdleConnections() {
  if (!ip_) return;
  for (int i = 0; i < kIpListenerCount; ++i) {
    const auto listener = IpListener(i);
    if (ip_->ConnectionCount(listener) < 1) continue;
    if (++idle_[size_t(i)] > kIdleLimit) {
      ip_->CloseConnections(listener);
      idle_[size_t(i)] = 0;
    }
  }
}

void ConsoleOutput::ShowStatus() {
  if (!ip_ || !status_) return;
  status_(std::to_string(ip_->ConnectionCount(IpListener::P8097)));
}

void ConsoleOutput::SendHeartbeat() {
  // Cleared before anything is written, so that an ACK read by the console
  // port's worker right after the write is never wiped out.
  acknowledged_.store(false);

  // The second console client always gets the MLR2 heartbeat.
  if (clients_.Console2ClientCount() > 0) clients_.SendToFirstConsole2(kHeartbeatLine);
  if (device_.PortOpen()) {
    WriteIgnoringErrors(console_.protocol == OutputProtocol::Ademco685 ? WithLF(kOkayLine)
                                                                       : kHeartbeatLine);
  }
  awaiting_ = true;
  ++attempts_;
  ++linkTestsSent_;
  countdown_ = kCountdownAfterHeartbeat;
}

void ConsoleOutput::DeliverOne() {
  const std::optional<std::string> head = queue_.Front();
  if (!head) return;
  const std::string& entry = *head;
  trace_.Append("VP  " + entry);

  if (clients_.Console2ClientCount() > 0) {
    // The entry stays at the head until its bytes have left for the client.
    if (console2InFlight_) return;
    trace_.Append("VP  mmmsoccc");
    console2InFlight_ = true;
    clients_.SendToFirstConsole2Tracked(entry, [this, entry](bool sent) {
      console2InFlight_ = false;
      if (!sent || queue_.Front() != entry) return;
      queue_.RemoveFirst();
      RecordFate(entry, EventFate::Delivered);
    });
    return;
  }

  trace_.Append("VP  mmm111");
  if (device_.Alive()) {
    // Only this tick removes entries, so the head is still the entry.
    try {
      trace_.Append("VP  mmm");
      // A short write leaves the entry at the head for the next tick.
      if (!WriteEntry(entry)) return;
      queue_.RemoveFirst();
      RecordFate(entry, EventFate::Delivered);
    } catch (const std::exception& e) {
      trace_.Append(std::string("Exception: ") + e.what());
    } catch (...) {
      trace_.Append("Exception: unknown");
    }
    return;
  }

  // The console has gone quiet: without the store-offline option the entry
  // is dropped, with it the entry waits at the head.
  if (!ipSettings_.storeOffline) {
    queue_.RemoveFirst();
    RecordFate(entry, EventFate::Dropped);
  }
}

void ConsoleOutput::AppendEvent(const std::string& text, const RowKey& key) {
  ledger_.Track(text, key);
  queue_.Append(text);
}

void ConsoleOutput::RecordFate(const std::string& entry, EventFate fate) {
  const RowKey key = ledger_.Take(entry);
  if (log_ && key) log_->SetFate(key, EventTarget::Console, fate);
}

bool ConsoleOutput::WriteEntry(const std::string& entry) {
  if (console_.protocol != OutputProtocol::Ademco685) {
    // Entries that already end in DC4 get a second one.
    return device_.Write(entry + kDC4);
  }
  const std::string ademco = Ademco685(entry);
  if (ademco.size() <= 1) return true;  // nothing to write for this code
  const bool all = device_.Write(WithLF(ademco));
  trace_.Append("ademco  " + ademco);
  return all;
}

void ConsoleOutput::WriteIgnoringErrors(const std::string& bytes) {
  try {
    device_.Write(bytes);
  } catch (const std::exception& e) {
    trace_.Append(std::string("Exception: ") + e.what());
  } catch (...) {
    trace_.Append("Exception: unknown");
  }
}

std::string ConsoleOutput::Ademco685(std::string_view line) const {
  return Ademco685Line(line, console_.receiverNumber, codes_);
}

std::string ConsoleOutput::WriteEventDirect(const std::string& eventLine, bool* delivered) {
  if (delivered) *delivered = false;
  try {
    if (console_.protocol != OutputProtocol::Ademco685) {
      const bool all = device_.Write(eventLine + kDC4);
      if (delivered) *delivered = all;
      return {};
    }
    const std::string ademco = Ademco685(eventLine);
    if (delivered) *delivered = true;
    if (ademco.size() <= 1) return {};
    const bool all = device_.Write(WithLF(ademco));
    if (delivered) *delivered = all;
    return ademco;
  } catch (const std::exception& e) {
    trace_.Append(std::string("Exception: ") + e.what());
  } catch (...) {
    trace_.Append("Exception: unknown");
  }
  return {};
}

}  // namespace quell
