// Monitoring.ini, the escaping of outside texts, the health answers and the
// status page: the pure functions of the monitoring surface.
#include <gtest/gtest.h>

#include "core/config/client_access_file.h"
#include "core/cp1251.h"
#include "monitoring/health.h"
#include "monitoring/html_text.h"
#include "monitoring/monitoring_file.h"
#include "monitoring/status_page.h"

namespace quell {
namespace {

using namespace std::chrono_literals;

TEST(MonitoringFileTest, ReadsLiteralAddressesAndSkipsWhatDoesNotRead) {
  const MonitoringFile f = ParseMonitoringFile({
      "; comment", "[Http]", "Listen=127.0.0.1:9464", "Listen = [::1]:9465 ; IPv6",
      "Listen=localhost:9466",   // a name, not an address
      "Listen=127.0.0.1:70000",  // no such port
      "Listen=127.0.0.1:0", "Listen=[::1]9467",
      "Listen=::1:9468",  // IPv6 without brackets
      "Port=9469", "[Other]",
      "Listen=127.0.0.1:9470",  // outside [Http]
  });
  EXPECT_TRUE(f.exists);
  ASSERT_EQ(f.listen.size(), 2u);
  EXPECT_EQ(f.listen[0].Text(), "127.0.0.1:9464");
  EXPECT_EQ(f.listen[0].lineNumber, 3);
  EXPECT_EQ(f.listen[1].Text(), "[::1]:9465");
  EXPECT_EQ(f.listen[1].port, 9465);
  ASSERT_EQ(f.problems.size(), 8u);
  EXPECT_NE(f.problems[0].find("line 5"), std::string::npos);
  EXPECT_NE(f.problems[0].find("localhost:9466"), std::string::npos);
  EXPECT_FALSE(ParseMonitoringFile({}).listen.size());
  EXPECT_FALSE(ReadMonitoringFile("/nonexistent-dir").exists);
}

TEST(MonitoringFileTest, ClientAccessTakesAMonitoringSection) {
  const ClientAccessFile f = ParseClientAccessFile(
      {"[Modules]", "10.0.0.0/8", "[Monitoring]", "192.168.1.0/24 ; the IT network", "[Other]"});
  ASSERT_TRUE(f.monitoring.has_value());
  ASSERT_EQ(f.monitoring->size(), 1u);
  EXPECT_EQ((*f.monitoring)[0].text, "192.168.1.0/24");
  EXPECT_EQ((*f.monitoring)[0].lineNumber, 4);
  EXPECT_FALSE(ParseClientAccessFile({"[Modules]", "10.0.0.0/8"}).monitoring.has_value());
}

TEST(HtmlTextTest, ConvertsWindows1251EscapesMetacharactersAndShowsControlBytes) {
  EXPECT_EQ(HtmlFromCp1251("<script>alert(1)</script>"), "&lt;script&gt;alert(1)&lt;/script&gt;");
  EXPECT_EQ(HtmlFromCp1251("a&b \"q\" 'x'"), "a&amp;b &quot;q&quot; &#39;x&#39;");
  EXPECT_EQ(HtmlFromCp1251(std::string("1\x14\r\n\x00z", 6)), "1\\x14\\x0D\\x0A\\x00z");
  EXPECT_EQ(HtmlFromCp1251(W("Линия <1>")), "Линия &lt;1&gt;");
  EXPECT_EQ(HtmlFromUtf8("Линия\t&"), "Линия\\x09&amp;");
}

StatusSnapshot Snapshot(SteadyTime at) {
  StatusSnapshot s;
  s.published = at;
  s.nowMs = 1'765'000'000'000;
  s.storeWritable = true;
  s.consolePort = "COM5: open";
  s.listeners = {{"modules", 8097, false, true, true},
                 {"DC-09", 8005, true, true, true},
                 {"client", 8040, false, false, false}};
  return s;
}

TEST(HealthTest, LiveWhileTheSnapshotIsYoungerThanThreeSeconds) {
  const SteadyTime t0 = std::chrono::steady_clock::now();
  const StatusSnapshot s = Snapshot(t0);
  EXPECT_EQ(LiveAnswer(&s, t0 + 2999ms).status, 200);
  EXPECT_EQ(LiveAnswer(&s, t0 + 3000ms).status, 503);
  EXPECT_EQ(LiveAnswer(nullptr, t0).status, 503);
  EXPECT_EQ(LiveAnswer(&s, t0).body, "{\"live\":true}\n");
}

TEST(HealthTest, ReadyNeedsTheFieldListenersAndAWritingStoreButNotTheClientPorts) {
  const SteadyTime t0 = std::chrono::steady_clock::now();
  StatusSnapshot s = Snapshot(t0);
  HealthAnswer a = ReadyAnswer(&s, t0);
  EXPECT_EQ(a.status, 200) << a.body;  // the client port is down: no matter
  EXPECT_NE(a.body.find("\"ready\":true"), std::string::npos);
  EXPECT_NE(a.body.find("\"console_port\":\"COM5: open\""), std::string::npos);
  EXPECT_NE(a.body.find("{\"what\":\"client\",\"port\":8040,\"udp\":false,\"listening\":false"),
            std::string::npos);

  s.storeWritable = false;
  s.storeError = "disk \"full\"";
  a = ReadyAnswer(&s, t0);
  EXPECT_EQ(a.status, 503);
  EXPECT_NE(a.body.find("\"store_error\":\"disk \\\"full\\\"\""), std::string::npos);

  s = Snapshot(t0);
  s.listeners[1].listening = false;  // UDP 8005
  EXPECT_EQ(ReadyAnswer(&s, t0).status, 503);
  const StatusSnapshot fresh = Snapshot(t0);
  EXPECT_EQ(ReadyAnswer(&fresh, t0 + 3s).status, 503);  // the engine stands still
}

TEST(StatusPageTest, ShowsLinesConsoleStoreAndEscapedEventsNewestFirst) {
  StatusSnapshot s = Snapshot(std::chrono::steady_clock::now());
  s.lines = {{"GSM <1>", "GSM XCALL", LineState::Up, 17}, {"Rx", "MLR", LineState::Stopped, 99}};
  s.consoleQueue = 3;
  PendingFigures pending;
  pending.console = 4;
  pending.oldestConsoleMs = s.nowMs - 60'000;
  const std::vector<RingEvent> events = {
      {2, s.nowMs, "tcp", "8097", "1234", std::string("<script>x</script>&\x14", 20)},
      {1, s.nowMs - 1000, "sms", W("Линия"), "", W("Тревога")}};
  const std::string page = StatusPage(&s, pending, events);
  EXPECT_NE(page.find("<meta http-equiv=\"refresh\" content=\"5\">"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_NE(page.find("&lt;script&gt;x&lt;/script&gt;&amp;\\x14"), std::string::npos);
  EXPECT_NE(page.find("GSM &lt;1&gt;"), std::string::npos);
  EXPECT_NE(page.find("Тревога"), std::string::npos);
  EXPECT_LT(page.find("&lt;script&gt;"), page.find("Тревога"));  // newest first
  EXPECT_NE(page.find("<td>Queue</td><td>3</td>"), std::string::npos);
  EXPECT_NE(page.find("<td>Pending for the console</td><td>4</td>"), std::string::npos);
  EXPECT_NE(page.find("stopped"), std::string::npos);
  EXPECT_NE(StatusPage(nullptr, {}, {}).find("no state published yet"), std::string::npos);
}

}  // namespace
}  // namespace quell
