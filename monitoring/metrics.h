#pragma once
// The gateway's Prometheus metrics: one registry, every family made and
// every series a hot path touches looked up once, here. Meter calls come
// from the receivers and the store; Publish (main thread, once a second)
// sets what the snapshot shows; Scrape (any thread) writes the text format.
#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/meter.h"
#include "monitoring/atomic_histogram.h"
#include "monitoring/event_ring.h"
#include "monitoring/status_snapshot.h"

namespace quell {

class Metrics final : public Meter {
 public:
  // refusalPorts: the gateway's ports, whose refusal series are made at once.
  Metrics(const std::string& version, const std::vector<int>& refusalPorts);

  void Reply(Road road, ReplyKind kind, SteadyTime arrived) override;
  void Dc09Refused(Dc09Refusal reason) override;
  void Dc09Copy() override;
  void AccessRefused(int port) override;
  void Committed(const std::vector<EventRow>& rows, double seconds) override;
  void Pending(const PendingFigures& pending) override;
  void CommitFailed() override;
  void Recent(const std::vector<EventRow>& newestFirst) override;

  // Main thread: the gauges (and counters kept by the engine) of a snapshot.
  void Publish(const StatusSnapshot& snapshot);
  // Any thread: every family and the process metrics in text format 0.0.4.
  std::string Scrape() const;

  // Main thread: the refusal series of a port, for other threads to count in.
  prometheus::Counter* AccessRefusalCounter(int port);

  PendingFigures PendingNow() const;
  const EventRing& Ring() const { return ring_; }

 private:
  void PublishLines(const std::vector<LineStatus>& lines);

  std::shared_ptr<prometheus::Registry> registry_;
  std::array<prometheus::Counter*, kRoadCount> accepted_{};
  // Replies and their times, for the roads that reply (others stay null).
  std::array<std::array<prometheus::Counter*, kReplyKindCount>, kRoadCount> replies_{};
  // The histograms are our own, lock-free on the hot paths.
  AtomicHistogramFamily replySecondsFamily_;
  AtomicHistogramFamily commitSecondsFamily_;
  std::array<AtomicHistogram*, kRoadCount> replySeconds_{};
  std::array<prometheus::Counter*, kDc09RefusalCount> refused_{};
  prometheus::Counter* copies_ = nullptr;
  AtomicHistogram* commitSeconds_ = nullptr;
  prometheus::Counter* writeFailures_ = nullptr;
  prometheus::Gauge* storeUp_ = nullptr;
  prometheus::Gauge* pendingConsole_ = nullptr;
  prometheus::Gauge* pendingClient_ = nullptr;
  prometheus::Gauge* oldestConsole_ = nullptr;
  prometheus::Gauge* oldestClient_ = nullptr;
  prometheus::Gauge* consoleUp_ = nullptr;
  prometheus::Gauge* consoleOpen_ = nullptr;
  prometheus::Gauge* consoleQueue_ = nullptr;
  prometheus::Counter* linkTests_ = nullptr;
  prometheus::Counter* linkTestsFailed_ = nullptr;
  prometheus::Gauge* modulesOnline_ = nullptr;
  prometheus::Counter* modulesLost_ = nullptr;
  prometheus::Family<prometheus::Gauge>* lineState_ = nullptr;
  prometheus::Family<prometheus::Gauge>* lineUp_ = nullptr;
  prometheus::Family<prometheus::Gauge>* signal_ = nullptr;
  prometheus::Family<prometheus::Gauge>* clients_ = nullptr;
  prometheus::Family<prometheus::Counter>* refusedFamily_ = nullptr;

  // Main thread only.
  struct LineSeries {
    std::array<prometheus::Gauge*, 3> state{};  // up, down, stopped
    prometheus::Gauge* up = nullptr;            // started lines only
    prometheus::Gauge* signal = nullptr;        // a known level only
  };
  std::map<std::pair<std::string, std::string>, LineSeries> lines_;  // by name and type
  std::map<int, prometheus::Gauge*> clientSeries_;
  std::map<int, prometheus::Counter*> refusedSeries_;
  uint64_t linkTestsSeen_ = 0, linkTestsFailedSeen_ = 0, modulesLostSeen_ = 0;

  mutable std::mutex pendingLock_;
  PendingFigures pending_;
  EventRing ring_;
};

}  // namespace quell
