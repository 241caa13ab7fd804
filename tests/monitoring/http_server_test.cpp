// The monitoring HTTP server on a free loopback port: what each path
// answers, with its headers, and what it does with requests it does not
// serve or that never end.
#include "monitoring/http_server.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/support/raw_http.h"

namespace quell {
namespace {

using Steady = std::chrono::steady_clock;

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

int Connect(int port) {
  return test::ConnectLoopback(AF_INET, port);
}

std::string Exchange(int port, const std::string& request, int timeoutMs = 5000) {
  return test::Exchange(AF_INET, port, request, timeoutMs);
}

using test::ReadAll;
std::string Get(const std::string& path, const std::string& extra = "") {
  return test::HttpGet(path, extra);
}

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto s = std::make_shared<StatusSnapshot>();
    s->published = Steady::now() + std::chrono::hours(1);  // stays live during the test
    s->storeWritable = true;
    box_.Publish(s);
    port_ = FreePort();
    limits_.requestTimeoutMs = 500;
    limits_.idleTimeoutMs = 500;
    std::string error;
    ASSERT_TRUE(server_.Listen({"127.0.0.1", port_, 1}, limits_, std::nullopt, &error)) << error;
  }
  Metrics metrics_{"9.9", {}};
  SnapshotBox box_;
  MonitoringServer server_{metrics_, box_};
  HttpLimits limits_;
  int port_ = 0;
};

TEST_F(HttpServerTest, ServesMetricsHealthAndThePageWithTheirTypes) {
  std::string a = Exchange(port_, Get("/metrics"));
  EXPECT_EQ(a.rfind("HTTP/1.1 200", 0), 0u) << a;
  EXPECT_NE(a.find("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"),
            std::string::npos);
  EXPECT_NE(a.find("quell_build_info{version=\"9.9\"} 1"), std::string::npos);

  a = Exchange(port_, Get("/health/live"));
  EXPECT_EQ(a.rfind("HTTP/1.1 200", 0), 0u) << a;
  EXPECT_NE(a.find("application/json"), std::string::npos);
  a = Exchange(port_, Get("/health/ready"));
  EXPECT_EQ(a.rfind("HTTP/1.1 200", 0), 0u) << a;

  a = Exchange(port_, Get("/"));
  EXPECT_EQ(a.rfind("HTTP/1.1 200", 0), 0u) << a;
  EXPECT_NE(a.find("Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'\r\n"),
            std::string::npos);
  EXPECT_NE(a.find("text/html; charset=utf-8"), std::string::npos);

  EXPECT_EQ(Exchange(port_, Get("/nothing")).rfind("HTTP/1.1 404", 0), 0u);

  // The engine stood still: not live.
  auto stale = std::make_shared<StatusSnapshot>();
  stale->published = Steady::now() - std::chrono::seconds(4);
  box_.Publish(stale);
  EXPECT_EQ(Exchange(port_, Get("/health/live")).rfind("HTTP/1.1 503", 0), 0u);
}

TEST_F(HttpServerTest, OnlyGetIsServedAndAnUpgradeIsNotFound) {
  const std::string post =
      "POST /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
      "Content-Length: 3\r\n\r\nabc";
  const std::string a = Exchange(port_, post);
  EXPECT_EQ(a.rfind("HTTP/1.1 405", 0), 0u) << a;
  EXPECT_NE(a.find("Allow: GET"), std::string::npos);
  EXPECT_EQ(Exchange(port_, "PUT / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                .rfind("HTTP/1.1 405", 0),
            0u);
  const std::string upgrade =
      Exchange(port_, Get("/",
                          "Upgrade: websocket\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                          "Sec-WebSocket-Version: 13\r\n"));
  EXPECT_EQ(upgrade.rfind("HTTP/1.1 404", 0), 0u) << upgrade;
}

TEST_F(HttpServerTest, AnOversizeHeaderOrOneThatNeverEndsIsClosed) {
  // 1 MB of header: an error or a close, never a page.
  const int fd = Connect(port_);
  ASSERT_GE(fd, 0);
  std::string request = "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(1 << 20, 'a');
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  bool closed = false;
  std::string a = ReadAll(fd, 5000, &closed);
  ::close(fd);
  EXPECT_TRUE(closed || a.rfind("HTTP/1.1 4", 0) == 0) << a.substr(0, 200);
  EXPECT_EQ(a.find("200 OK"), std::string::npos);

  // A request line cut off: closed once the request time is up.
  const int cut = Connect(port_);
  ASSERT_GE(cut, 0);
  ::send(cut, "GET /met", 8, MSG_NOSIGNAL);
  a = ReadAll(cut, 5000, &closed);
  ::close(cut);
  EXPECT_TRUE(closed) << a;
  EXPECT_EQ(a.find("200 OK"), std::string::npos);

  // And the server still answers.
  EXPECT_EQ(Exchange(port_, Get("/health/live")).rfind("HTTP/1.1 200", 0), 0u);
}

TEST(HttpServerListenTest, APortInUseIsReportedNotFatal) {
  Metrics metrics("1", {});
  SnapshotBox box;
  const int port = FreePort();
  MonitoringServer first(metrics, box);
  std::string error;
  ASSERT_TRUE(first.Listen({"127.0.0.1", port, 1}, {}, std::nullopt, &error)) << error;
  MonitoringServer second(metrics, box);
  EXPECT_FALSE(second.Listen({"127.0.0.1", port, 1}, {}, std::nullopt, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(second.Ports().empty());
}

TEST(HttpServerListenTest, APeerOutsideTheAccessListIsClosedUnanswered) {
  Metrics metrics("1", {});
  SnapshotBox box;
  using Blocks = std::vector<std::pair<QHostAddress, int>>;
  EXPECT_EQ(CivetAccessList(std::nullopt), "");
  const Blocks othersBlocks{{QHostAddress(QStringLiteral("10.0.0.0")), 8},
                            {QHostAddress(QStringLiteral("fe80::")), 10}};
  const std::string others = CivetAccessList(othersBlocks);
  EXPECT_EQ(others, "-0.0.0.0/0,+10.0.0.0/8");
  const int refused = FreePort();
  MonitoringServer closed(metrics, box);
  std::string error;
  ASSERT_TRUE(closed.Listen({"127.0.0.1", refused, 1}, {}, othersBlocks, &error)) << error;
  bool wasClosed = false;
  const int fd = Connect(refused);
  ASSERT_GE(fd, 0);
  ::send(fd, Get("/metrics").data(), Get("/metrics").size(), MSG_NOSIGNAL);
  EXPECT_EQ(ReadAll(fd, 5000, &wasClosed), "");
  EXPECT_TRUE(wasClosed);
  ::close(fd);
  // civetweb counts the refusal before it closes the peer.
  const std::string refusedSeries =
      "quell_access_refused_total{port=\"" + std::to_string(refused) + "\"} ";
  EXPECT_NE(metrics.Scrape().find(refusedSeries + "1\n"), std::string::npos);

  const int admitted = FreePort();
  MonitoringServer open(metrics, box);
  ASSERT_TRUE(open.Listen({"127.0.0.1", admitted, 1}, {},
                          Blocks{{QHostAddress(QStringLiteral("127.0.0.0")), 8}}, &error))
      << error;
  EXPECT_EQ(Exchange(admitted, Get("/metrics")).rfind("HTTP/1.1 200", 0), 0u);
  const std::string text = metrics.Scrape();
  EXPECT_NE(text.find("quell_access_refused_total{port=\"" + std::to_string(admitted) + "\"} 0\n"),
            std::string::npos);
  EXPECT_NE(text.find(refusedSeries + "1\n"), std::string::npos);
}

}  // namespace
}  // namespace quell
