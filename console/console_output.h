#pragma once
// The receiver's output side: the console output queue, the once-a-second
// link supervision with its heartbeat, and the hand-over of at most one
// queued event line per tick to the second console client or the console
// port, in "Sugard MLR2" or "Ademco685" format.
#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "console/console_device.h"
#include "core/client_feed.h"
#include "core/delivery_ledger.h"
#include "core/event_log.h"
#include "core/settings.h"
#include "core/shared_list.h"
#include "core/trace_view.h"

namespace quell {

// The IP module listeners in the order the tick visits them.
enum class IpListener { P8097 = 0, P8098 = 1, P8096 = 2, P8095 = 3 };
inline constexpr int kIpListenerCount = 4;

// What the tick needs from the IP module receivers.
class IpSupervision {
 public:
  virtual ~IpSupervision() = default;
  virtual int ConnectionCount(IpListener listener) const = 0;
  virtual void CloseConnections(IpListener listener) = 0;
  virtual void LossCheck() = 0;
};

class ConsoleOutput {
 public:
  ConsoleOutput(SharedTextList& queue, ConsoleDevice& device, ClientFeed& clients, TraceView& trace,
                const ConsoleSettings& console, const IpModuleSettings& ip, const CodeTable& codes);

  void SetIpSupervision(IpSupervision* ip) { ip_ = ip; }
  // Where the delivery of stored events is recorded (none: not recorded).
  void SetEventLog(EventLog* log) { log_ = log; }
  EventLog* Log() const { return log_; }
  // Receives the 8097 connection count for the status bar's first panel.
  void SetStatusSink(std::function<void(const std::string&)> sink) { status_ = std::move(sink); }

  // The 1000 ms timer handler.
  void Tick();

  // Ademco685 line (without the leading LF) for an event or supervision
  // line; empty when the code table has no matching record.
  std::string Ademco685(std::string_view line) const;

  // Writes one event line (no terminator) to the console port in the chosen
  // format, as the IP receivers do when the console is answering: the line
  // and DC4 in "Sugard MLR2", LF and the converted line in "Ademco685".
  // Returns the Ademco685 text written (for the trace), or empty. Never
  // throws: a failed write is traced as "Exception: " + its text; delivered
  // (if given) tells whether the port accepted every byte.
  std::string WriteEventDirect(const std::string& eventLine, bool* delivered = nullptr);

  void Append(std::string text) { queue_.Append(std::move(text)); }
  // Queues the entry of the stored event key; its delivery is recorded.
  void AppendEvent(const std::string& text, const RowKey& key);
  // True while queued entries go to the second console client, not the port.
  bool QueueDrainsToConsole2() const { return clients_.Console2ClientCount() > 0; }
  SharedTextList& Queue() { return queue_; }
  // The rows of queued entries; producers on other threads track theirs here.
  DeliveryLedger& Ledger() { return ledger_; }

  // Set by the console port reader and the second console port on ACK.
  std::atomic<bool>& ConsoleAcknowledged() { return acknowledged_; }

  // IP idle counters; main thread only.
  void ResetIdle(IpListener listener) { idle_[size_t(listener)] = 0; }
  int Idle(IpListener listener) const { return idle_[size_t(listener)]; }

  bool LinkUp() const { return linkUp_; }
  int HeartbeatCountdown() const { return countdown_; }
  int HeartbeatAttempts() const { return attempts_; }
  bool AwaitingAnswer() const { return awaiting_; }
  // Heartbeats sent, and rounds of them that went unanswered, since start.
  uint64_t LinkTestsSent() const { return linkTestsSent_; }
  uint64_t LinkTestsFailed() const { return linkTestsFailed_; }

 private:
  void CloseIdleConnections();
  void ShowStatus();
  void SendHeartbeat();
  void DeliverOne();
  // Writes the entry to the console port in the chosen format; may throw.
  // False when the port did not accept every byte.
  bool WriteEntry(const std::string& entry);
  void RecordFate(const std::string& entry, EventFate fate);
  // Writes bytes to the console port; a failure only leaves a trace line.
  void WriteIgnoringErrors(const std::string& bytes);

  SharedTextList& queue_;
  ConsoleDevice& device_;
  ClientFeed& clients_;
  TraceView& trace_;
  const ConsoleSettings& console_;
  const IpModuleSettings& ipSettings_;
  const CodeTable& codes_;
  IpSupervision* ip_ = nullptr;
  EventLog* log_ = nullptr;
  DeliveryLedger ledger_;
  bool console2InFlight_ = false;  // the head went to the second console client, not yet sent
  std::function<void(const std::string&)> status_;

  std::array<int, kIpListenerCount> idle_{};
  int countdown_ = 20;
  int attempts_ = 0;
  bool awaiting_ = false;
  bool linkUp_ = false;
  uint64_t linkTestsSent_ = 0;
  uint64_t linkTestsFailed_ = 0;
  std::atomic<bool> acknowledged_{false};
};

}  // namespace quell
