// The metrics: counts per road and kind, line series as lines change, the
// event ring, and the text format.
#include "monitoring/metrics.h"

#include <gtest/gtest.h>
#include <prometheus/histogram.h>
#include <prometheus/text_serializer.h>

#include "tests/support/store_files.h"

namespace quell {
namespace {

bool Has(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(MetricsTest, CountsRepliesRefusalsAndPublishedStateInTheTextFormat) {
  Metrics m("1.2", {8097, 8005});
  const SteadyTime now = std::chrono::steady_clock::now();
  m.Reply(Road::Tcp, ReplyKind::Ack, now);
  m.Reply(Road::Tcp, ReplyKind::Ack, now);
  m.Reply(Road::Tcp, ReplyKind::Nack, now);
  m.Reply(Road::Dc09, ReplyKind::Duh, now);
  m.Reply(Road::Sms, ReplyKind::Ack, now);  // no reply series: ignored
  m.Dc09Refused(Dc09Refusal::Key);
  m.Dc09Copy();
  m.AccessRefused(8097);
  m.AccessRefused(9999);
  StatusSnapshot s;
  s.consoleUp = true;
  s.consoleQueue = 7;
  s.linkTestsSent = 5;
  s.modulesOnline = 3;
  s.modulesLost = 2;
  s.clientConnections = {{8040, 1}};
  m.Publish(s);
  s.linkTestsSent = 6;
  m.Publish(s);
  const std::string text = m.Scrape();
  EXPECT_TRUE(Has(text, "quell_replies_total{kind=\"ACK\",road=\"tcp\"} 2")) << text;
  EXPECT_TRUE(Has(text, "quell_replies_total{kind=\"NACK\",road=\"tcp\"} 1"));
  EXPECT_TRUE(Has(text, "quell_replies_total{kind=\"DUH\",road=\"dc09\"} 1"));
  EXPECT_TRUE(Has(text, "quell_reply_seconds_count{road=\"tcp\"} 3"));
  EXPECT_TRUE(Has(text, "quell_dc09_refused_total{reason=\"key\"} 1"));
  EXPECT_TRUE(Has(text, "quell_dc09_refused_total{reason=\"crc\"} 0"));
  EXPECT_TRUE(Has(text, "quell_dc09_copies_total 1"));
  EXPECT_TRUE(Has(text, "quell_access_refused_total{port=\"8097\"} 1"));
  EXPECT_TRUE(Has(text, "quell_access_refused_total{port=\"8005\"} 0"));
  EXPECT_TRUE(Has(text, "quell_access_refused_total{port=\"9999\"} 1"));
  EXPECT_TRUE(Has(text, "quell_console_up 1"));
  EXPECT_TRUE(Has(text, "quell_console_queue_length 7"));
  EXPECT_TRUE(Has(text, "quell_console_link_tests_total 6"));
  EXPECT_TRUE(Has(text, "quell_ip_modules_online 3"));
  EXPECT_TRUE(Has(text, "quell_ip_modules_lost_total 2"));
  EXPECT_TRUE(Has(text, "quell_client_connections{port=\"8040\"} 1"));
  EXPECT_TRUE(Has(text, "quell_build_info{version=\"1.2\"} 1"));
  EXPECT_TRUE(Has(text, "quell_events_accepted_total{road=\"module\"} 0"));
  EXPECT_NE(text.find("\nprocess_resident_memory_bytes "), std::string::npos);
  EXPECT_NE(text.find("\nprocess_open_fds "), std::string::npos);
  EXPECT_NE(text.find("\nprocess_cpu_seconds_total "), std::string::npos);
  EXPECT_NE(text.find("\nprocess_start_time_seconds "), std::string::npos);
  EXPECT_NE(text.find("le=\"0.00025\""), std::string::npos);
}

TEST(MetricsTest, EachLineHasOneStateAndARenamedLineLosesItsSeriesAtOnce) {
  Metrics m("1", {});
  StatusSnapshot s;
  s.lines = {{"Линия 1", "GSM", LineState::Down, 20}, {"L2", "MLR", LineState::Stopped, 99}};
  m.Publish(s);
  std::string text = m.Scrape();
  EXPECT_TRUE(Has(text, "quell_line_state{line=\"Линия 1\",state=\"down\",type=\"GSM\"} 1"));
  EXPECT_TRUE(Has(text, "quell_line_state{line=\"Линия 1\",state=\"up\",type=\"GSM\"} 0"));
  EXPECT_TRUE(Has(text, "quell_line_state{line=\"L2\",state=\"stopped\",type=\"MLR\"} 1"));
  EXPECT_TRUE(Has(text, "quell_line_up{line=\"Линия 1\",type=\"GSM\"} 0"));
  EXPECT_EQ(text.find("quell_line_up{line=\"L2\""), std::string::npos);  // not started
  EXPECT_TRUE(Has(text, "quell_modem_signal_level{line=\"Линия 1\"} 20"));
  EXPECT_EQ(text.find("quell_modem_signal_level{line=\"L2\""), std::string::npos);

  s.lines = {{"Line one", "GSM", LineState::Up, 99}, {"L2", "MLR", LineState::Down, 99}};
  m.Publish(s);
  text = m.Scrape();
  EXPECT_EQ(text.find("Линия 1"), std::string::npos) << text;
  EXPECT_TRUE(Has(text, "quell_line_up{line=\"Line one\",type=\"GSM\"} 1"));
  EXPECT_TRUE(Has(text, "quell_line_up{line=\"L2\",type=\"MLR\"} 0"));
  EXPECT_TRUE(Has(text, "quell_line_state{line=\"L2\",state=\"stopped\",type=\"MLR\"} 0"));
}

// Our lock-free histogram writes exactly what prometheus-cpp's own writes
// for the same observations: a value on a bound counts in that bound's
// bucket, one just above it in the next, a large one in +Inf only.
TEST(AtomicHistogramTest, WritesWhatPrometheusCppsHistogramWrites) {
  const std::vector<double> bounds = {0.0001, 0.001, 0.25, 1};
  prometheus::Registry registry;
  auto& theirs = prometheus::BuildHistogram().Name("h_seconds").Help("help").Register(registry);
  prometheus::Histogram& a = theirs.Add({{"road", "tcp"}}, bounds);
  AtomicHistogramFamily ours("h_seconds", "help");
  AtomicHistogram& x = ours.Add({{"road", "tcp"}}, bounds);
  for (double v : {0.0001, 0.00010001, 0.001, 0.5, 1.0, 1.0001, 30.0, 0.0}) {
    a.Observe(v);
    x.Observe(v);
  }
  const prometheus::TextSerializer text;
  EXPECT_EQ(text.Serialize(ours.Collect()), text.Serialize(registry.Collect()));

  const auto read = x.Read();
  ASSERT_EQ(read.bucket.size(), 5u);
  EXPECT_EQ(read.bucket[0].cumulative_count, 2u);  // 0 and 0.0001
  EXPECT_EQ(read.bucket[1].cumulative_count, 4u);  // 0.00010001 and 0.001
  EXPECT_EQ(read.bucket[3].cumulative_count, 6u);  // 0.5 and 1
  EXPECT_EQ(read.bucket[4].cumulative_count, 8u);  // 1.0001 and 30 in +Inf only
  EXPECT_EQ(read.sample_count, 8u);
  EXPECT_DOUBLE_EQ(read.sample_sum, 0.0001 + 0.00010001 + 0.001 + 0.5 + 1.0 + 1.0001 + 30.0);
}

TEST(EventRingTest, KeepsTheNewestFifty) {
  EventRing ring;
  std::vector<EventRow> rows;
  for (int i = 0; i < 120; ++i) rows.push_back(test::TcpRow(std::to_string(i)));
  ring.Add({rows.begin(), rows.begin() + 30});
  ring.Add({rows.begin() + 30, rows.end()});
  const auto newest = ring.Newest();
  ASSERT_EQ(newest.size(), EventRing::kCapacity);
  EXPECT_EQ(newest.front().text, "119\x14");
  EXPECT_EQ(newest.back().text, "70\x14");
}

}  // namespace
}  // namespace quell
