#include "monitoring/metrics.h"

#include <prometheus/text_serializer.h>

#include "monitoring/process_metrics.h"

namespace quell {
namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;

const std::vector<double>& Buckets() {
  static const std::vector<double> buckets = {0.0001, 0.00025, 0.0005, 0.001, 0.0025,
                                              0.005,  0.01,    0.05,   0.25,  1};
  return buckets;
}

std::string Name(std::string_view view) {
  return std::string(view);
}

constexpr const char* kStateNames[3] = {"up", "down", "stopped"};

}  // namespace

Metrics::Metrics(const std::string& version, const std::vector<int>& refusalPorts)
    : registry_(std::make_shared<prometheus::Registry>()),
      replySecondsFamily_("quell_reply_seconds",
                          "Time from a message's arrival to its reply leaving"),
      commitSecondsFamily_("quell_store_commit_seconds", "Duration of each event store commit") {
  auto& r = *registry_;
  auto& accepted = BuildCounter()
                       .Name("quell_events_accepted_total")
                       .Help("Events accepted (stored) per road they came by")
                       .Register(r);
  for (int i = 0; i < kRoadCount; ++i)
    accepted_[i] = &accepted.Add({{"road", Name(kRoadNames[i])}});

  auto& replies = BuildCounter()
                      .Name("quell_replies_total")
                      .Help("Replies sent to senders per road and kind")
                      .Register(r);
  for (Road road : {Road::Tcp, Road::Dc09}) {
    const int i = int(road);
    for (int k = 0; k < kReplyKindCount; ++k)
      replies_[i][k] =
          &replies.Add({{"road", Name(kRoadNames[i])}, {"kind", Name(kReplyKindNames[k])}});
    replySeconds_[i] = &replySecondsFamily_.Add({{"road", Name(kRoadNames[i])}}, Buckets());
  }

  auto& refused = BuildCounter()
                      .Name("quell_dc09_refused_total")
                      .Help("Frames the standard DC-09 receiver refused, per reason")
                      .Register(r);
  for (int i = 0; i < kDc09RefusalCount; ++i)
    refused_[i] = &refused.Add({{"reason", Name(kDc09RefusalNames[i])}});
  copies_ = &BuildCounter()
                 .Name("quell_dc09_copies_total")
                 .Help("DC-09 frames recognised as retransmitted copies of frames already taken")
                 .Register(r)
                 .Add({});

  commitSeconds_ = &commitSecondsFamily_.Add({}, Buckets());
  writeFailures_ = &BuildCounter()
                        .Name("quell_store_write_failures_total")
                        .Help("Event store commits that failed to write")
                        .Register(r)
                        .Add({});
  storeUp_ = &BuildGauge()
                  .Name("quell_store_up")
                  .Help("1 while the event store writes, 0 while it cannot")
                  .Register(r)
                  .Add({});
  auto& pending = BuildGauge()
                      .Name("quell_pending_rows")
                      .Help("Stored events not yet delivered, per target")
                      .Register(r);
  pendingConsole_ = &pending.Add({{"target", "console"}});
  pendingClient_ = &pending.Add({{"target", "client"}});
  auto& oldest = BuildGauge()
                     .Name("quell_oldest_pending_age_seconds")
                     .Help("Age of the oldest undelivered stored event, per target (0: none)")
                     .Register(r);
  oldestConsole_ = &oldest.Add({{"target", "console"}});
  oldestClient_ = &oldest.Add({{"target", "client"}});

  consoleUp_ = &BuildGauge()
                    .Name("quell_console_up")
                    .Help("1 while the console answers its link tests")
                    .Register(r)
                    .Add({});
  consoleOpen_ = &BuildGauge()
                      .Name("quell_console_open")
                      .Help("1 while the console port is open")
                      .Register(r)
                      .Add({});
  consoleQueue_ = &BuildGauge()
                       .Name("quell_console_queue_length")
                       .Help("Entries waiting in the console output queue")
                       .Register(r)
                       .Add({});
  linkTests_ = &BuildCounter()
                    .Name("quell_console_link_tests_total")
                    .Help("Link tests (heartbeats) sent to the console")
                    .Register(r)
                    .Add({});
  linkTestsFailed_ = &BuildCounter()
                          .Name("quell_console_link_tests_failed_total")
                          .Help("Rounds of link tests the console left unanswered")
                          .Register(r)
                          .Add({});

  lineState_ = &BuildGauge()
                    .Name("quell_line_state")
                    .Help("1 for the state a line is in (up, down or stopped), else 0")
                    .Register(r);
  lineUp_ = &BuildGauge()
                 .Name("quell_line_up")
                 .Help("1 while a started line is up, 0 while it is down")
                 .Register(r);
  signal_ = &BuildGauge()
                 .Name("quell_modem_signal_level")
                 .Help(
                     "The modem's signal quality as +CSQ reports it, 0 to 31 "
                     "(-113 dBm + 2 dBm per step); absent while not known")
                 .Register(r);

  modulesOnline_ = &BuildGauge()
                        .Name("quell_ip_modules_online")
                        .Help("IP modules heard within the silence limit")
                        .Register(r)
                        .Add({});
  modulesLost_ = &BuildCounter()
                      .Name("quell_ip_modules_lost_total")
                      .Help("IP modules found silent past the silence limit")
                      .Register(r)
                      .Add({});
  clients_ = &BuildGauge()
                  .Name("quell_client_connections")
                  .Help("Connected station clients per client port")
                  .Register(r);
  refusedFamily_ = &BuildCounter()
                        .Name("quell_access_refused_total")
                        .Help("Connections and datagrams refused by ClientAccess.ini, per port")
                        .Register(r);
  for (int port : refusalPorts)
    if (port > 0 && !refusedSeries_.count(port))
      refusedSeries_[port] = &refusedFamily_->Add({{"port", std::to_string(port)}});

  BuildGauge()
      .Name("quell_build_info")
      .Help("The gateway's version")
      .Register(r)
      .Add({{"version", version}})
      .Set(1);
}

void Metrics::Reply(Road road, ReplyKind kind, SteadyTime arrived) {
  const int i = int(road);
  prometheus::Counter* counter = replies_[i][int(kind)];
  if (!counter) return;
  counter->Increment();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - arrived;
  replySeconds_[i]->Observe(took.count());
}

void Metrics::Dc09Refused(Dc09Refusal reason) {
  refused_[int(reason)]->Increment();
}

void Metrics::Dc09Copy() {
  copies_->Increment();
}

void Metrics::AccessRefused(int port) {
  AccessRefusalCounter(port)->Increment();
}

prometheus::Counter* Metrics::AccessRefusalCounter(int port) {
  auto it = refusedSeries_.find(port);
  if (it == refusedSeries_.end())
    it = refusedSeries_.emplace(port, &refusedFamily_->Add({{"port", std::to_string(port)}})).first;
  return it->second;
}

void Metrics::Committed(const std::vector<EventRow>& rows, double seconds) {
  commitSeconds_->Observe(seconds);
  for (const EventRow& row : rows) {
    const int road = RoadIndex(row.road);
    if (road >= 0) accepted_[road]->Increment();
  }
  ring_.Add(rows);
}

void Metrics::Pending(const PendingFigures& pending) {
  std::lock_guard g(pendingLock_);
  pending_ = pending;
}

void Metrics::CommitFailed() {
  writeFailures_->Increment();
}

void Metrics::Recent(const std::vector<EventRow>& newestFirst) {
  ring_.Add(std::vector<EventRow>(newestFirst.rbegin(), newestFirst.rend()));
}

PendingFigures Metrics::PendingNow() const {
  std::lock_guard g(pendingLock_);
  return pending_;
}

void Metrics::Publish(const StatusSnapshot& s) {
  const PendingFigures pending = PendingNow();
  pendingConsole_->Set(double(pending.console));
  pendingClient_->Set(double(pending.client));
  const auto age = [&](int64_t oldestMs) {
    return oldestMs > 0 && s.nowMs > oldestMs ? double(s.nowMs - oldestMs) / 1000.0 : 0.0;
  };
  oldestConsole_->Set(pending.console ? age(pending.oldestConsoleMs) : 0.0);
  oldestClient_->Set(pending.client ? age(pending.oldestClientMs) : 0.0);
  storeUp_->Set(s.storeWritable ? 1 : 0);
  consoleUp_->Set(s.consoleUp ? 1 : 0);
  consoleOpen_->Set(s.consoleOpen ? 1 : 0);
  consoleQueue_->Set(double(s.consoleQueue));
  // Counters the engine keeps grow by what they grew since the last time.
  const auto grow = [](prometheus::Counter* counter, uint64_t now, uint64_t& seen) {
    if (now > seen) counter->Increment(double(now - seen));
    seen = now;
  };
  grow(linkTests_, s.linkTestsSent, linkTestsSeen_);
  grow(linkTestsFailed_, s.linkTestsFailed, linkTestsFailedSeen_);
  grow(modulesLost_, s.modulesLost, modulesLostSeen_);
  modulesOnline_->Set(s.modulesOnline);
  for (const auto& [port, count] : s.clientConnections) {
    auto it = clientSeries_.find(port);
    if (it == clientSeries_.end())
      it = clientSeries_.emplace(port, &clients_->Add({{"port", std::to_string(port)}})).first;
    it->second->Set(count);
  }
  PublishLines(s.lines);
}

void Metrics::PublishLines(const std::vector<LineStatus>& lines) {
  std::map<std::pair<std::string, std::string>, const LineStatus*> now;
  for (const LineStatus& line : lines) now.emplace(std::make_pair(line.name, line.type), &line);
  // A line renamed or removed loses its series at once.
  for (auto it = lines_.begin(); it != lines_.end();) {
    if (now.count(it->first)) {
      ++it;
      continue;
    }
    for (prometheus::Gauge* g : it->second.state) lineState_->Remove(g);
    if (it->second.up) lineUp_->Remove(it->second.up);
    if (it->second.signal) signal_->Remove(it->second.signal);
    it = lines_.erase(it);
  }
  for (const auto& [key, line] : now) {
    LineSeries& series = lines_[key];
    if (!series.state[0]) {
      for (int i = 0; i < 3; ++i)
        series.state[i] = &lineState_->Add(
            {{"line", key.first}, {"type", key.second}, {"state", kStateNames[i]}});
    }
    for (int i = 0; i < 3; ++i) series.state[i]->Set(int(line->state) == i ? 1 : 0);
    const bool started = line->state != LineState::Stopped;
    if (started && !series.up)
      series.up = &lineUp_->Add({{"line", key.first}, {"type", key.second}});
    if (!started && series.up) {
      lineUp_->Remove(series.up);
      series.up = nullptr;
    }
    if (series.up) series.up->Set(line->state == LineState::Up ? 1 : 0);
    const bool known = line->signal >= 0 && line->signal <= 31;
    if (known && !series.signal) series.signal = &signal_->Add({{"line", key.first}});
    if (!known && series.signal) {
      signal_->Remove(series.signal);
      series.signal = nullptr;
    }
    if (series.signal) series.signal->Set(line->signal);
  }
}

std::string Metrics::Scrape() const {
  std::vector<prometheus::MetricFamily> families = registry_->Collect();
  for (const AtomicHistogramFamily* histograms : {&replySecondsFamily_, &commitSecondsFamily_})
    for (auto& family : histograms->Collect()) families.push_back(std::move(family));
  for (auto& family : ProcessMetrics()) families.push_back(std::move(family));
  return prometheus::TextSerializer().Serialize(families);
}

}  // namespace quell
